#pragma once
// What a download did on the link: the bytes each way and how the row writes went. Every channel
// carries one; the row writes count their attempts in it, the serial port its bytes. A download
// that needs several connections (a bootloader pass, then the application) adds them up.

#include <cstdint>

namespace tamrix {

struct LinkStatistics {
    int64_t bytesSent = 0;      // bytes the port took for sending
    int64_t bytesReceived = 0;  // bytes read from the port (one-wire echoes not counted)
    int rowsWritten = 0;        // row frames acknowledged
    int retries = 0;            // row frames sent again after a failed attempt
    int nacks = 0;              // attempts the bootloader refused
    int timeouts = 0;           // attempts that got no answer in time
    int damagedFrames = 0;      // attempts whose frame did not leave whole or came back changed
    int rowsVerified = 0;       // rows read back and found equal to what was written
    // Rows whose acknowledge may have belonged to another frame, because the answers fell out of
    // step with the frames (an answer came that no frame was owed): read back and, where they
    // differed, written again (PIC), or the run failed (SAM).
    int rowsUncertain = 0;
    int rowsRewritten = 0;   // uncertain rows written again
    int answersMissing = 0;  // answers owed to frames that never came

    LinkStatistics& operator+=(const LinkStatistics& other) {
        bytesSent += other.bytesSent;
        bytesReceived += other.bytesReceived;
        rowsWritten += other.rowsWritten;
        retries += other.retries;
        nacks += other.nacks;
        timeouts += other.timeouts;
        damagedFrames += other.damagedFrames;
        rowsVerified += other.rowsVerified;
        rowsUncertain += other.rowsUncertain;
        rowsRewritten += other.rowsRewritten;
        answersMissing += other.answersMissing;
        return *this;
    }
};

}  // namespace tamrix
