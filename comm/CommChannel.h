#pragma once
// The byte channel to the target. Everything above it sees the serial link only through this
// interface; CSerialPort is the real implementation, the tests have a scripted one.

#include <cstdint>
#include <memory>

#include "comm/AnswerLedger.h"
#include "comm/LinkStatistics.h"
#include "comm/OpenFailure.h"

namespace tamrix {

class CCommChannel {
  public:
    virtual ~CCommChannel() = default;

    // 1 when the port is open and configured (8N1, no flow control), 0 otherwise. With echoMode 1
    // (one-wire wiring) Write reads away the echo of what it sent.
    [[nodiscard]] virtual int Open(int portNumber, int baudRate, int echoMode) = 0;
    // Purges and closes; harmless on a closed channel.
    virtual void Close() = 0;
    // Discards what has not been transmitted yet.
    virtual void FlushTx() = 0;
    // Discards the receive queue; false when the channel is not open or the purge failed.
    [[nodiscard]] virtual bool FlushRx() = 0;
    // Returns once the bytes have left the port (and, in echo mode, their echo has been read
    // away): the number of bytes written, 0 on failure. "Left" means both that the port says its
    // transmitter is empty and that the bytes' wire time at the channel's rate has passed since
    // the write began: a pseudo-terminal or a USB adapter with a deep FIFO reports an empty
    // queue long before the bytes are on the other side. So every reply wait that starts after
    // Write returns counts from the moment the target can have the whole command. In echo mode an
    // echo that is short or differs from what was sent fails the write, and what arrived until the
    // line fell quiet is dropped: none of it may pass for an answer.
    [[nodiscard]] virtual int Write(const uint8_t* buffer, int count) = 0;
    // Bytes the port took in the last Write, even when Write returned 0 because their echo came
    // late or the wait for the transmitter failed: those bytes did go out. 0 when the port took
    // nothing (closed, write error).
    [[nodiscard]] virtual int LastWriteAccepted() const = 0;
    // Copies what is already waiting, at most `count` bytes; never waits. 0 when nothing waits.
    [[nodiscard]] virtual int Read(uint8_t* buffer, int count) = 0;
    // Number of received bytes waiting to be read.
    [[nodiscard]] virtual int BytesAvailable() = 0;

    // Blocks until at least `count` received bytes are waiting or `timeoutMs` has passed,
    // whichever comes first; may return earlier. Callers keep their own deadlines and re-check
    // BytesAvailable afterwards: this only lets them wait without spinning a core.
    virtual void WaitForInput(int count, int timeoutMs) = 0;

    // Milliseconds `bytes` take on the wire at the channel's rate (start, 8 data and stop bit
    // each), rounded up; 0 when the channel has no rate (not open). Reply waits add the wire time
    // of the reply they wait for, so that a slow rate does not turn a long reply into a time-out.
    [[nodiscard]] virtual int WireTimeMs(int bytes) const = 0;

    // True when every byte written comes back as an echo (the one-wire wiring): the host and the
    // target share the line, so a frame sent while an answer is on its way collides with it.
    [[nodiscard]] virtual bool EchoesWrites() const { return false; }

    // Why the last Open failed, so that "Port Open Fail" can be followed by what to do about it.
    // A channel that cannot tell says nothing (error None).
    [[nodiscard]] virtual OpenFailure LastOpenFailure() const { return OpenFailure(); }

    // What has gone over this channel since it was made (see LinkStatistics.h).
    LinkStatistics& Statistics() { return statistics_; }
    const LinkStatistics& Statistics() const { return statistics_; }

    // The row frames sent on this connection and the answers they are still owed.
    CAnswerLedger& Answers() { return answers_; }

  protected:
    LinkStatistics statistics_;
    CAnswerLedger answers_;
};

// A channel as it is handed out by whatever opens channels for the download: also when it could
// not be opened, as callers use it exactly as an open one (its flushes then tell the user).
struct OpenedChannel {
    std::unique_ptr<CCommChannel> channel;
    bool opened = false;  // its Open succeeded
};

}  // namespace tamrix
