#pragma once
// A scripted channel in virtual time: the test decides what the "target" answers to each write
// and when the answer arrives; waiting on the channel advances the virtual clock instead of
// sleeping.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "comm/CommChannel.h"
#include "platform/Clock.h"

namespace tamrix::test {

class FakeChannel : public CCommChannel {
  public:
    explicit FakeChannel(CVirtualClock& clock) : clock_(clock) {}

    // Called with every written frame; typically answers with Deliver().
    std::function<void(FakeChannel&, const std::vector<uint8_t>&)> onWrite;

    // Makes `bytes` arrive `delayMs` from now (after anything already scheduled).
    void Deliver(const std::vector<uint8_t>& bytes, int delayMs = 0);

    // What the host did, in order: "W:0a 09" for a write, "FRX" / "FTX" for flushes.
    std::vector<std::string> events;
    std::vector<std::vector<uint8_t>> writes;
    std::vector<uint8_t> AllWritten() const;
    int CountWrites(uint8_t firstByte) const;

    int openResult = 1;
    // What LastOpenFailure reports.
    OpenFailure openFailure;
    // The line's rate: 0 (the default) moves no virtual time for a write; otherwise every write
    // takes its wire time (10 bits a byte) before onWrite sees it and before Write returns, as
    // the serial port's Write does, and WireTimeMs reports it.
    int baudRate = 0;
    // Virtual milliseconds every Read takes (a host slower than the line).
    int msPerRead = 0;
    // Writes whose first byte is this value fail (return 0, nothing recorded); -1: none fail.
    int failWritesStartingWith = -1;
    // Writes whose first byte is this value go out (recorded, LastWriteAccepted tells) but return
    // 0, as the serial port's Write does when the echo comes late; -1: none.
    int lateEchoForWritesStartingWith = -1;
    bool flushRxFails = false;
    // A one-wire line: what EchoesWrites says (the echo itself is not played).
    bool echoes = false;
    bool isOpen = true;
    int flushRxCount = 0;

    int Open(int portNumber, int baudRate, int echoMode) override;
    void Close() override { isOpen = false; }
    void FlushTx() override { events.push_back("FTX"); }
    bool FlushRx() override;
    int Write(const uint8_t* buffer, int count) override;
    int LastWriteAccepted() const override { return lastWriteAccepted_; }
    int WireTimeMs(int bytes) const override;
    int Read(uint8_t* buffer, int count) override;
    int BytesAvailable() override;
    void WaitForInput(int count, int timeoutMs) override;
    OpenFailure LastOpenFailure() const override { return openFailure; }
    bool EchoesWrites() const override { return echoes; }

    // Bytes scheduled but not yet arrived, plus those waiting.
    size_t Pending() const { return queue_.size(); }

  private:
    struct Timed {
        int64_t at;
        uint8_t byte;
    };
    CVirtualClock& clock_;
    std::deque<Timed> queue_;
    int lastWriteAccepted_ = 0;
};

}  // namespace tamrix::test
