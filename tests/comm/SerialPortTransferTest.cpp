// Moving bytes through the serial port on a real pseudo-terminal, with the test playing the
// target on the master side: writes with and without the one-wire echo, reads that never wait,
// flushes, waiting for input, a stalled line and a line that goes away.

#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>

#include <chrono>
#include <thread>
#include <vector>

#include "comm/SerialPort.h"
#include "tests/comm/PtyPair.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::PtyPair;
using test::RecordingWindow;
using Bytes = std::vector<uint8_t>;

constexpr const char* kNotOpenText = "Channel not open! Cannot flush an unopened channel.";

class Stopwatch {
  public:
    int64_t ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

int64_t ThreadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

Bytes Pattern(size_t count, uint8_t seed) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class SerialPortTransferTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()) << "no pseudo-terminal available"; }
    void TearDown() override {
        if (farEnd.joinable())
            farEnd.join();
    }

    void Open(int baud, int echo) { ASSERT_EQ(port.OpenDevice(pty.SlavePath(), baud, echo), 1); }

    // The far end writes `bytes`; returns once the port sees them all.
    void Receive(const Bytes& bytes) {
        const int expected = port.BytesAvailable() + static_cast<int>(bytes.size());
        ASSERT_TRUE(pty.WriteMaster(bytes));
        port.WaitForInput(expected, 2000);
        ASSERT_EQ(port.BytesAvailable(), expected);
    }

    Bytes ReadAll() {
        Bytes got(8192);
        got.resize(static_cast<size_t>(port.Read(got.data(), static_cast<int>(got.size()))));
        return got;
    }

    // A one-wire target: reads what the port sends, sends it back, then its answer.
    void EchoThenAnswer(size_t count, Bytes answer) {
        farEnd = std::thread([this, count, answer] {
            heard = pty.ReadMaster(count, 3000);
            pty.WriteMaster(Concat(heard, answer));
        });
    }

    PtyPair pty;
    RecordingWindow window;
    CSerialPort port{&window};
    std::thread farEnd;
    Bytes heard;
};

TEST_F(SerialPortTransferTest, WriteWithoutEchoSendsAllAndLeavesTheReceiveQueueAlone) {
    Open(115200, 0);
    Receive({0x61, 0x62, 0x63});

    const Bytes frame = Pattern(10, 0x10);
    EXPECT_EQ(port.Write(frame.data(), 10), 10);
    EXPECT_EQ(pty.ReadMaster(11, 300), frame);
    EXPECT_EQ(port.BytesAvailable(), 3);
    EXPECT_EQ(ReadAll(), Bytes({0x61, 0x62, 0x63}));
    EXPECT_TRUE(window.events.empty());
}

TEST_F(SerialPortTransferTest, EchoModeRemovesExactlyTheEchoAndKeepsTheAnswer) {
    Open(115200, 1);
    const Bytes frame = Pattern(10, 0x30);
    const Bytes answer = {0x01, 0xA5, 0x0A};
    EchoThenAnswer(frame.size(), answer);

    EXPECT_EQ(port.Write(frame.data(), 10), 10);
    farEnd.join();
    EXPECT_EQ(heard, frame);
    port.WaitForInput(3, 2000);
    EXPECT_EQ(ReadAll(), answer);
    EXPECT_TRUE(window.events.empty());
}

TEST_F(SerialPortTransferTest, EchoLongerThanTheScratchBufferIsRemovedWhole) {
    Open(115200, 1);
    const Bytes frame = Pattern(5000, 0x03);
    const Bytes answer = {0x55, 0xAA};
    EchoThenAnswer(frame.size(), answer);

    EXPECT_EQ(port.Write(frame.data(), static_cast<int>(frame.size())), 5000);
    farEnd.join();
    EXPECT_EQ(heard, frame);
    port.WaitForInput(2, 2000);
    EXPECT_EQ(ReadAll(), answer);
}

TEST_F(SerialPortTransferTest, MissingEchoFailsTheWriteAfterASecondAndDropsWhatCameBack) {
    Open(115200, 1);
    const Bytes frame = Pattern(10, 0x40);
    // Only part of the echo comes back: a byte lost on the line.
    Receive(Bytes(frame.begin(), frame.begin() + 9));

    const Stopwatch watch;
    EXPECT_EQ(port.Write(frame.data(), 10), 0);
    EXPECT_GE(watch.ElapsedMs(), 990);
    EXPECT_LT(watch.ElapsedMs(), 5000);

    // The bytes went out all the same, but nothing of the echo is left to pass for an answer.
    EXPECT_EQ(port.LastWriteAccepted(), 10);
    EXPECT_EQ(pty.ReadMaster(10, 300), frame);
    EXPECT_EQ(ReadAll(), Bytes());
    EXPECT_TRUE(window.events.empty());
}

// A byte that takes an echo's place (the late answer to an earlier frame, or a byte the line
// changed) puts echo and answers out of step: the write fails, the rest of the echo is dropped as
// it comes, and what the target says once the line is quiet arrives as usual.
TEST_F(SerialPortTransferTest, EchoThatIsNotWhatWasSentFailsTheWriteAndTheLineSettles) {
    Open(115200, 1);
    const Bytes frame = Pattern(10, 0x40);
    farEnd = std::thread([this, count = frame.size()] {
        heard = pty.ReadMaster(count, 3000);
        pty.WriteMaster(Concat({0x01}, heard));
    });
    EXPECT_EQ(port.Write(frame.data(), 10), 0);
    farEnd.join();
    EXPECT_EQ(heard, frame);
    EXPECT_EQ(port.BytesAvailable(), 0) << "the last byte of the echo is gone too";

    Receive({0x00});
    EXPECT_EQ(ReadAll(), Bytes({0x00}));
}

TEST_F(SerialPortTransferTest, ReadNeverWaits) {
    Open(9600, 0);
    uint8_t buffer[16];
    const Stopwatch watch;
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port.BytesAvailable(), 0);
    EXPECT_LT(watch.ElapsedMs(), 200);

    Receive({0x0A, 0x0B, 0x0C});
    EXPECT_EQ(port.Read(buffer, 2), 2);
    EXPECT_EQ(buffer[0], 0x0A);
    EXPECT_EQ(buffer[1], 0x0B);
    EXPECT_EQ(port.BytesAvailable(), 1);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], 0x0C);
}

TEST_F(SerialPortTransferTest, FlushRxDiscardsWhatIsQueuedAndTheLineStaysUsable) {
    Open(19200, 0);
    Receive(Pattern(6, 0x70));
    EXPECT_TRUE(port.FlushRx());
    EXPECT_EQ(port.BytesAvailable(), 0);

    Receive({0x0A});
    EXPECT_EQ(ReadAll(), Bytes({0x0A}));
    EXPECT_TRUE(window.events.empty());
}

TEST_F(SerialPortTransferTest, FlushTxNeverDestroysBytesTheFarEndHasNotReadYet) {
    Open(115200, 0);
    // Single-byte commands each followed by both flushes, as the program sends its wake-up and
    // handshake bytes; the far end reads only afterwards.
    const Bytes sent = Pattern(20, 0x21);
    for (const uint8_t byte : sent) {
        ASSERT_EQ(port.Write(&byte, 1), 1);
        static_cast<void>(port.FlushRx());
        port.FlushTx();
    }
    EXPECT_EQ(pty.ReadMaster(sent.size(), 1000), sent);
    EXPECT_TRUE(window.events.empty());
}

TEST_F(SerialPortTransferTest, ClosedPortRefusesEverythingAndFlushesSayWhy) {
    const Bytes frame = Pattern(4, 0);
    uint8_t buffer[4];
    EXPECT_EQ(port.Write(frame.data(), 4), 0);
    EXPECT_EQ(port.Read(buffer, 4), 0);
    EXPECT_EQ(port.BytesAvailable(), 0);
    EXPECT_TRUE(window.events.empty());

    port.FlushTx();
    ASSERT_EQ(window.MessageBoxes().size(), 1u);
    EXPECT_FALSE(port.FlushRx());
    const auto boxes = window.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.text, kNotOpenText);
        EXPECT_EQ(box.caption, kApplicationCaption);
        EXPECT_EQ(box.icon, MessageIcon::None);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
    }

    // Closed again after use: the same.
    Open(9600, 0);
    port.Close();
    EXPECT_FALSE(port.FlushRx());
    EXPECT_EQ(window.MessageBoxes().size(), 3u);

    // Without a window nothing is shown, and nothing breaks.
    CSerialPort silent;
    silent.FlushTx();
    EXPECT_FALSE(silent.FlushRx());
}

TEST_F(SerialPortTransferTest, WaitForInputReturnsOnceTheBytesAreThere) {
    Open(115200, 0);
    farEnd = std::thread([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.WriteMaster({0x01, 0x02, 0x03});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.WriteMaster({0x04, 0x05});
    });
    const Stopwatch watch;
    port.WaitForInput(5, 5000);
    EXPECT_LT(watch.ElapsedMs(), 2500);
    EXPECT_EQ(port.BytesAvailable(), 5);
}

TEST_F(SerialPortTransferTest, WaitForInputLastsTheTimeOutWhenTooFewBytesCome) {
    Open(115200, 0);
    Stopwatch nothing;
    port.WaitForInput(1, 150);
    EXPECT_GE(nothing.ElapsedMs(), 150);
    EXPECT_LT(nothing.ElapsedMs(), 2000);

    Receive({0x01, 0x02, 0x03});
    const Stopwatch some;
    const int64_t cpuBefore = ThreadCpuMs();
    port.WaitForInput(10, 300);
    EXPECT_GE(some.ElapsedMs(), 300);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 100) << "waiting on a partial answer spins";
    EXPECT_EQ(port.BytesAvailable(), 3);
}

TEST_F(SerialPortTransferTest, AHungUpLineNeitherSpinsNorPretendsToWork) {
    Open(115200, 0);
    pty.CloseMaster();

    const Stopwatch watch;
    const int64_t cpuBefore = ThreadCpuMs();
    port.WaitForInput(1, 300);
    const int64_t cpuMs = ThreadCpuMs() - cpuBefore;
    EXPECT_GE(watch.ElapsedMs(), 300);
    EXPECT_LT(cpuMs, 100) << "the wait spins on a hung-up line";

    uint8_t buffer[4];
    EXPECT_EQ(port.BytesAvailable(), 0);
    EXPECT_EQ(port.Read(buffer, 4), 0);
    const Bytes frame = Pattern(4, 0);
    EXPECT_EQ(port.Write(frame.data(), 4), 0);
    ASSERT_EQ(window.MessageBoxes().size(), 1u);
    EXPECT_EQ(window.MessageBoxes()[0].text, "SetCommMask failed!");

    // A closed port does not make its callers spin either.
    port.Close();
    const int64_t closedCpuBefore = ThreadCpuMs();
    const Stopwatch closedWatch;
    port.WaitForInput(1, 100);
    EXPECT_GE(closedWatch.ElapsedMs(), 100);
    EXPECT_LT(ThreadCpuMs() - closedCpuBefore, 50);
}

TEST_F(SerialPortTransferTest, WriteOnAStalledLineGivesUpAfterThePerByteTimeOut) {
    // The slave's output is stopped, as by a line that takes nothing: no byte is accepted.
    const Bytes frame = Pattern(10, 0x11);
    const struct {
        int baud;
        int64_t atLeastMs;
    } cases[] = {{9600, 10 * 4}, {1200, 10 * 32}, {115200, 1000}};
    for (const auto& c : cases) {
        CSerialPort stalled(&window);
        ASSERT_EQ(stalled.OpenDevice(pty.SlavePath(), c.baud, 0), 1);
        ASSERT_EQ(::tcflow(pty.SlaveFd(), TCOOFF), 0);
        const Stopwatch watch;
        EXPECT_EQ(stalled.Write(frame.data(), 10), 0) << c.baud;
        EXPECT_GE(watch.ElapsedMs(), c.atLeastMs) << c.baud;
        EXPECT_LT(watch.ElapsedMs(), c.atLeastMs + 3000) << c.baud;
        ASSERT_EQ(::tcflow(pty.SlaveFd(), TCOON), 0);
    }
    EXPECT_TRUE(pty.ReadMaster(1, 50).empty());
    EXPECT_TRUE(window.events.empty());
}

}  // namespace
}  // namespace tamrix
