// The simulated product over a real pseudo-terminal, driven with plain termios calls.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "image/IntelHex.h"
#include "sim/PicFlash.h"
#include "sim/SimTarget.h"
#include "tests/sim/SimPort.h"

namespace tamrix {
namespace {

using test::BootloaderOptions;
using test::ConnectToBootloader;
using test::SimPort;
using test::StartInBootloader;
using test::WakeUpMessage;

constexpr int kWait = 2000;  // generous: the machine may be busy; only failures wait this long

std::vector<uint8_t> PicRow(uint32_t address, int instructions, uint32_t value) {
    std::vector<uint8_t> frame = {0x03, static_cast<uint8_t>(address),
                                  static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address >> 16)};
    for (int i = 0; i < instructions; ++i) {
        frame.push_back(static_cast<uint8_t>(value));
        frame.push_back(static_cast<uint8_t>(value >> 8));
        frame.push_back(static_cast<uint8_t>(value >> 16));
    }
    return frame;
}

TEST(SimTargetWakeUpTest, OnlyTheApplicationSpeedsWakeTheProduct) {
    SimOptions options;
    options.keepTrace = true;
    CSimTarget target(options);
    ASSERT_TRUE(target.Start());
    EXPECT_EQ(target.State(), SimState::Application);
    SimPort port;
    ASSERT_TRUE(port.Open(target.DevicePath(), 115200));
    port.Write(WakeUpMessage());
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().noiseBytes == 10; }, kWait));
    port.SetBaud(38400);
    port.Write(WakeUpMessage());
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().noiseBytes == 20; }, kWait));
    EXPECT_EQ(target.State(), SimState::Application);
    EXPECT_EQ(target.Counters().wakeUps, 0);

    for (int baud : {9600, 19200}) {
        port.SetBaud(baud);
        port.Write(WakeUpMessage());
        ASSERT_TRUE(
            target.WaitFor([&] { return target.State() == SimState::WaitingForAnswer; }, kWait))
            << baud;
        target.PowerCycle();
        EXPECT_EQ(target.State(), SimState::Application);
    }
    EXPECT_EQ(target.Counters().wakeUps, 2);

    // A message cut by a byte at another speed does not count.
    port.SetBaud(19200);
    const std::vector<uint8_t> message = WakeUpMessage();
    target.ClearTrace();
    port.Write(std::vector<uint8_t>(message.begin(), message.begin() + 5));
    ASSERT_TRUE(target.WaitFor([&] { return target.Trace().size() == 5; }, kWait));
    port.SetBaud(115200);
    port.Write({0x30});
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().noiseBytes == 21; }, kWait));
    port.SetBaud(19200);
    port.Write(std::vector<uint8_t>(message.begin() + 5, message.end()));
    ASSERT_TRUE(target.WaitFor([&] { return target.Trace().size() == 11; }, kWait));
    EXPECT_EQ(target.State(), SimState::Application);
}

TEST(SimTargetHandshakeTest, StartSignalRepeatsUntilAnswered) {
    CSimTarget target(SimOptions{});
    ASSERT_TRUE(target.Start());
    SimPort port;
    ASSERT_TRUE(ConnectToBootloader(target, port));
    const int sent = target.Counters().startSignals;
    EXPECT_GE(sent, 1);
    // Answered: nothing more comes.
    port.DiscardInput();
    EXPECT_TRUE(port.ReadFor(300).empty());
    EXPECT_EQ(target.Counters().startSignals, sent);

    // Unanswered: it keeps coming, about every 100 ms.
    target.PowerCycle();
    port.SetBaud(19200);
    port.Write(WakeUpMessage());
    ASSERT_TRUE(
        target.WaitFor([&] { return target.State() == SimState::WaitingForAnswer; }, kWait));
    port.SetBaud(115200);
    port.DiscardInput();
    int signals = 0;
    for (int i = 0; i < 3; ++i)
        signals += port.WaitForByte(kSimStartSignal, kWait) ? 1 : 0;
    EXPECT_EQ(signals, 3);
    EXPECT_EQ(target.State(), SimState::WaitingForAnswer);
    EXPECT_GE(target.Counters().startSignals, sent + 3);
}

TEST(SimTargetHandshakeTest, SilentBootloaderNeverSendsItsStartSignal) {
    SimOptions options = BootloaderOptions("dsPIC33FJ256GP710");
    options.silentBootloader = true;
    CSimTarget target(options);
    ASSERT_TRUE(target.Start());
    SimPort port;
    ASSERT_TRUE(port.Open(target.DevicePath(), 115200));
    EXPECT_TRUE(port.ReadFor(350).empty());
    EXPECT_EQ(target.Counters().startSignals, 0);
    EXPECT_EQ(target.State(), SimState::WaitingForAnswer);
}

// A sample of device-table rows, written out here rather than taken from the table, so that a
// wrong row cannot pass on both sides: the product started as that chip identifies itself with the
// row's device id (low byte first) and PI (high nibble of byte 5), and plays the bootloader its id
// calls for. Seen on the wire: the PIC bootloader gives the product code low byte first and reads
// flash in rows of its family (32 instructions on a dsPIC30F, 512 on the others), the SAM
// bootloader gives it high byte first, and the ATmega128 answers nothing but the identification.
TEST(SimTargetHandshakeTest, IdentifiesAndPlaysTheBootloaderOfTheChosenRow) {
    enum class Plays { Pic, Sam, None };
    struct Row {
        const char* chip;
        uint16_t deviceId;
        uint8_t pi;
        int family;
        Plays plays;
    };
    const Row rows[] = {
        {"dsPIC30F2010", 0x0040, 1, 1, Plays::Pic},
        {"dsPIC30F3012", 0x00C1, 1, 1, Plays::Pic},  // same id as the next row, another PI
        {"dsPIC33FJ64GP206", 0x00C1, 3, 2, Plays::Pic},
        {"dsPIC30F4011", 0x0101, 1, 1, Plays::Pic},  // the first of its two rows
        {"dsPIC30F5011", 0x0080, 1, 1, Plays::Pic},
        {"dsPIC33FJ256GP710", 0x00FF, 3, 2, Plays::Pic},
        {"dsPIC33FJ128MC804", 0x062B, 3, 2, Plays::Pic},
        {"dsPIC33FJ256MC710A", 0x07BF, 3, 2, Plays::Pic},
        {"PIC24HJ128GP204", 0x0667, 3, 3, Plays::Pic},
        {"PIC24FJ64GA004", 0x044F, 3, 4, Plays::Pic},
        {"PIC24FJ64GA006", 0x0405, 3, 4, Plays::Pic},
        {"S3F828B", 0x0001, 1, 101, Plays::Sam},
        {"S3F84ZB", 0x0001, 2, 102, Plays::Sam},
        {"S3F84YB", 0x0001, 3, 103, Plays::Sam},
        {"ATmega128", 0x0002, 1, 201, Plays::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chip);
        SimOptions options = BootloaderOptions(row.chip);
        options.productCode = 0x1234;
        CSimTarget target(options);
        SimPort port;
        ASSERT_TRUE(StartInBootloader(target, port));
        EXPECT_EQ(target.Device().family, row.family);
        EXPECT_EQ(target.IsPic(), row.plays == Plays::Pic);
        EXPECT_EQ(target.IsSam(), row.plays == Plays::Sam);

        port.Write({kSimIdentify});
        const std::vector<uint8_t> id = port.Read(8, kWait);
        ASSERT_EQ(id.size(), 8u);
        EXPECT_EQ(id[0], row.deviceId & 0xFF);
        EXPECT_EQ(id[1], row.deviceId >> 8);
        EXPECT_EQ(id[5] >> 4, row.pi);

        port.Write({0x10});
        if (row.plays == Plays::None) {
            EXPECT_TRUE(port.ReadFor(150).empty());
            continue;
        }
        const std::vector<uint8_t> version = port.Read(12, kWait);
        ASSERT_EQ(version.size(), 12u);
        if (row.plays == Plays::Sam) {
            EXPECT_EQ(version[0], 0x12);
            EXPECT_EQ(version[1], 0x34);
            continue;
        }
        EXPECT_EQ(version[0], 0x34);
        EXPECT_EQ(version[1], 0x12);
        port.Write({0x02, 0x00, 0x00, 0x00});
        const size_t block = row.family == 1 ? 96 : 1536;
        EXPECT_EQ(port.Read(block, kWait).size(), block);
        EXPECT_TRUE(port.ReadFor(30).empty()) << "more than one row's worth";
    }
}

TEST(SimTargetHandshakeTest, UnlistedIdentificationIsAnsweredAsGiven) {
    SimOptions options;
    options.deviceId = 0x1234;
    options.pi = 5;
    options.startInBootloader = true;
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));
    EXPECT_EQ(target.Device().family, 0);
    port.Write({kSimIdentify, 0x10});
    EXPECT_EQ(port.Read(9, 300), (std::vector<uint8_t>{0x34, 0x12, 0, 0, 0, 0x51, 0, 0}));
}

TEST(SimTargetLineTest, BootloaderIgnoresBytesAndGarblesAnswersAtAnotherSpeed) {
    CSimTarget target(BootloaderOptions("dsPIC30F2010"));
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));
    port.SetBaud(57600);
    port.Write({kSimIdentify});
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().noiseBytes == 1; }, kWait));
    EXPECT_TRUE(port.ReadFor(100).empty());
    EXPECT_EQ(target.Counters().identifications, 0);

    // A request at the right speed whose answer is heard at another: a slower listener sees
    // 0xFF for every byte, a faster one 0x00.
    port.SetBaud(115200);
    target.SetFaults([] {
        SimFaults f;
        f.rowDelayMs = 300;
        return f;
    }());
    port.Write(PicRow(0x40, 32, 0x010203));
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().rowFrames == 1; }, kWait));
    port.SetBaud(9600);
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{0xFF});
    port.SetBaud(115200);
    port.Write(PicRow(0x80, 32, 0x010203));
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().rowFrames == 2; }, kWait));
    port.SetBaud(230400);
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{0x00});
}

// A bootloader at another speed than the host's: its start signal keeps coming, heard garbled
// (0xFF by a slower host, 0x00 by a faster one), and the host's 0x0A at its own speed is noise.
TEST(SimTargetLineTest, StartSignalAtAnotherSpeedIsHeardGarbledAndNeverAnswered) {
    SimOptions options;
    options.chip = "dsPIC30F6014A";
    options.bootBaud = 57600;
    CSimTarget target(options);
    ASSERT_TRUE(target.Start());
    SimPort port;
    ASSERT_TRUE(port.Open(target.DevicePath(), 19200));
    port.Write(WakeUpMessage());
    ASSERT_TRUE(
        target.WaitFor([&] { return target.State() == SimState::WaitingForAnswer; }, kWait));

    for (const auto& [baud, heard] : {std::pair<int, uint8_t>{19200, 0xFF}, {115200, 0x00}}) {
        port.SetBaud(baud);
        port.DiscardInput();
        const std::vector<uint8_t> signals = port.ReadFor(350);
        EXPECT_GE(signals.size(), 2u) << baud;
        EXPECT_EQ(signals, std::vector<uint8_t>(signals.size(), heard)) << baud;
    }
    port.Write({kSimStartSignal});
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().noiseBytes == 1; }, kWait));
    EXPECT_EQ(target.State(), SimState::WaitingForAnswer);
}

TEST(SimTargetLineTest, OneWireWiringEchoesEveryHostByteBeforeTheAnswer) {
    SimOptions options;
    options.chip = "dsPIC30F2010";
    options.wiring = SimWiring::OneWireEcho;
    CSimTarget target(options);
    ASSERT_TRUE(target.Start());
    SimPort port;
    ASSERT_TRUE(port.Open(target.DevicePath(), 115200));
    port.Write({0x55, 0x66});  // noise to the application, but the wire still echoes it
    EXPECT_EQ(port.Read(2, kWait), (std::vector<uint8_t>{0x55, 0x66}));
    port.SetBaud(19200);
    port.Write(WakeUpMessage());
    EXPECT_EQ(port.Read(10, kWait), WakeUpMessage());
    ASSERT_TRUE(
        target.WaitFor([&] { return target.State() == SimState::WaitingForAnswer; }, kWait));
    port.SetBaud(115200);
    ASSERT_TRUE(port.WaitForByte(kSimStartSignal, kWait));
    port.Write({kSimStartSignal});
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimStartSignal});
    ASSERT_TRUE(target.WaitFor([&] { return target.State() == SimState::Bootloader; }, kWait));
    port.DiscardInput();
    port.Write({kSimIdentify});
    EXPECT_EQ(port.Read(9, kWait),
              (std::vector<uint8_t>{kSimIdentify, 0x40, 0x00, 0, 0, 0, 0x11, 0, 0}));
}

TEST(SimTargetSessionTest, PicDownloadThroughTheTerminalChangesWhatTheProductReports) {
    SimOptions options;
    options.chip = "dsPIC30F6014A";
    options.checksum = true;
    CSimTarget target(options);
    ASSERT_TRUE(target.Start());
    SimPort port;
    ASSERT_TRUE(ConnectToBootloader(target, port));

    port.Write({0x10});
    std::vector<uint8_t> version = port.Read(12, kWait);
    ASSERT_EQ(version.size(), 12u);
    EXPECT_EQ(version[0] | (version[1] << 8), 12345);
    EXPECT_EQ(version[4] | (version[5] << 8), 1000);
    EXPECT_EQ(version[8] | (version[9] << 8), 1500);

    port.Write({0x02, 0x00, 0x00, 0x00});
    const std::vector<uint8_t> block = port.Read(96, kWait);
    ASSERT_EQ(block.size(), 96u);
    EXPECT_EQ(block[0], 0x04);
    EXPECT_EQ(block[2], 0x04);

    // A bootloader image's row at 0x0C00 (product code 14900, version word 0x08FC), with sum.
    std::vector<uint8_t> row = PicRow(0x0C00, 32, 0xFFFFFF);
    const uint8_t head[6] = {0x34, 0x3A, 0x00, 0xFC, 0x08, 0x00};
    std::copy(head, head + 6, row.begin() + 4);
    unsigned sum = 0;
    for (uint8_t b : row)
        sum += b;
    std::vector<uint8_t> bad = row;
    bad.push_back(static_cast<uint8_t>(sum + 1));
    bad.push_back(static_cast<uint8_t>(sum >> 8));
    row.push_back(static_cast<uint8_t>(sum));
    row.push_back(static_cast<uint8_t>(sum >> 8));
    port.Write(bad);
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimNack});
    port.Write(row);
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    EXPECT_EQ(target.ProgramWord(0x0C00), 0x003A34u);

    std::vector<uint8_t> eeprom = {0x05, 0x00, 0xF0, 0x7F};
    for (int j = 0; j < 32; ++j)
        eeprom.push_back(static_cast<uint8_t>(0xE0 + j));
    port.Write(eeprom);
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    EXPECT_EQ(target.EepromWord(0x7FF000), 0xE1E0);

    port.Write({0x07, 0xFF, 0xC3, 0x00, 0xFF, 0x07, 0x01});
    EXPECT_EQ(port.Read(2, kWait), (std::vector<uint8_t>{kSimAck, kSimAck}));
    EXPECT_EQ(target.ConfigWord(0), 0x00C3);
    EXPECT_EQ(target.ConfigWord(1), 0x0107);

    port.Write({kSimFinish});
    ASSERT_TRUE(target.WaitFor([&] { return target.State() == SimState::Application; }, kWait));
    const SimVersions versions = target.Versions();
    EXPECT_EQ(versions.productCode, 14900);
    EXPECT_EQ(versions.bootVersion, 0x08FC);
    const SimCounters counters = target.Counters();
    EXPECT_EQ(counters.rowFrames, 5);
    EXPECT_EQ(counters.rowsAcked, 4);
    EXPECT_EQ(counters.rowsNacked, 1);
    EXPECT_EQ(counters.finishes, 1);

    // The next wake-up finds the new firmware.
    port.Close();
    ASSERT_TRUE(ConnectToBootloader(target, port));
    port.Write({0x10});
    version = port.Read(12, kWait);
    ASSERT_EQ(version.size(), 12u);
    EXPECT_EQ(version[0] | (version[1] << 8), 14900);
    EXPECT_EQ(version[8] | (version[9] << 8), 0x08FC);
}

TEST(SimTargetSessionTest, SamFramesThroughTheTerminal) {
    SimOptions options = BootloaderOptions("S3F84ZB");
    options.productCode = 0x6101;
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));
    std::vector<uint8_t> row = {0x03, 0x00, 0x12};
    for (int i = 0; i < 128; ++i)
        row.push_back(static_cast<uint8_t>(255 - i));
    port.Write(row);
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    port.Write({0x07, 1, 2, 3, 4});
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    port.Write({0x10});
    const std::vector<uint8_t> version = port.Read(12, kWait);
    ASSERT_EQ(version.size(), 12u);
    EXPECT_EQ(version[0], 0x61);
    EXPECT_EQ(version[1], 0x01);
    EXPECT_EQ(target.SamByte(0x1200), 0xFF);
    EXPECT_EQ(target.SamByte(0x1201), 0xFE);
    EXPECT_EQ(target.SamByte(0x20002), 3);
    port.Write({kSimFinish});
    EXPECT_TRUE(target.WaitFor([&] { return target.State() == SimState::Application; }, kWait));
}

TEST(SimTargetFaultTest, FaultsSwitchedOnWhileRunning) {
    CSimTarget target(BootloaderOptions("dsPIC30F2010"));
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));

    SimFaults faults;
    faults.nackRows = 1;
    faults.dropAcks = 1;
    faults.garbageAcks = 1;
    target.SetFaults(faults);
    port.Write(PicRow(0x40, 32, 1));
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimNack});
    port.Write(PicRow(0x40, 32, 1));
    EXPECT_TRUE(port.Read(1, 300).empty()) << "acknowledge dropped";
    EXPECT_EQ(target.ProgramWord(0x40), 1u);
    port.Write(PicRow(0x40, 32, 1));
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimGarbageByte});
    port.Write(PicRow(0x40, 32, 1));
    EXPECT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    EXPECT_EQ(target.Faults().nackRows, 0);

    faults = SimFaults();
    faults.noVersionInfo = true;
    faults.noVersionAddresses = true;
    target.SetFaults(faults);
    port.Write({0x10, 0x11});
    EXPECT_TRUE(port.Read(1, 300).empty());

    faults = SimFaults();
    faults.silent = true;
    target.SetFaults(faults);
    port.Write({kSimIdentify});
    EXPECT_TRUE(port.Read(1, 300).empty());
    target.SetFaults(SimFaults());
    port.Write({kSimIdentify});
    EXPECT_EQ(port.Read(8, kWait).size(), 8u);
}

TEST(SimTargetFaultTest, RowDelayHoldsTheAnswerBack) {
    SimOptions options = BootloaderOptions("dsPIC30F2010");
    options.faults.rowDelayMs = 120;
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));
    const auto start = std::chrono::steady_clock::now();
    port.Write(PicRow(0x40, 32, 1));
    ASSERT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(120));
}

// On the one-wire line a lost echo is one byte fewer coming back; the product still takes the
// whole frame and answers it.
TEST(SimTargetFaultTest, EchoLossHoldsBackOneEchoOfARowFrame) {
    SimOptions options = BootloaderOptions("dsPIC30F2010");
    options.wiring = SimWiring::OneWireEcho;
    options.faults.echoLossShare = 1.0;
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));
    port.DiscardInput();
    const std::vector<uint8_t> frame = PicRow(0x40, 32, 0x010203);
    port.Write(frame);
    const std::vector<uint8_t> back = port.Read(frame.size() + 1, 500);
    ASSERT_EQ(back.size(), frame.size()) << "every echo but one, and the answer";
    EXPECT_EQ(back.back(), kSimAck);
    EXPECT_EQ(target.ProgramWord(0x40), 0x010203u);
    EXPECT_EQ(target.Counters().echoesLost, 1);
}

TEST(SimTargetFaultTest, HangUpLeavesTheHostWithADeadPortAndTheFlashInspectable) {
    SimOptions options = BootloaderOptions("dsPIC30F2010");
    options.faults.hangUpAfterRows = 1;
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));
    port.Write(PicRow(0x40, 32, 0x111111));
    ASSERT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    port.Write(PicRow(0x80, 32, 0x222222));
    ASSERT_TRUE(target.WaitFor([&] { return target.State() == SimState::HungUp; }, kWait));

    pollfd p{port.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kWait), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    uint8_t byte = 0;
    EXPECT_LE(::read(port.Fd(), &byte, 1), 0);
    EXPECT_EQ(target.ProgramWord(0x40), 0x111111u);
    EXPECT_EQ(target.ProgramWord(0x80), CSimPicFlash::kErasedInstruction);
    EXPECT_EQ(target.Counters().rowFrames, 2);
    target.PowerCycle();  // cannot plug itself back in
    EXPECT_EQ(target.State(), SimState::HungUp);
    target.Stop();
    EXPECT_EQ(target.State(), SimState::HungUp);
}

TEST(SimTargetImageTest, LoadedImageComesBackUnchanged) {
    // Covers the reset vector and the identity words, so the defaults do not show through.
    CSimPicFlash source(2);
    source.SetInstruction(0, 0x040200);
    source.SetInstruction(2, 0x000000);
    source.SetInstruction(0x0C00, 0x003A35);
    source.SetInstruction(0x0C02, 0x0005DC);
    for (uint32_t a = 0x0C04; a < 0x1000; a += 2)
        source.SetInstruction(a, a * 3);
    source.SetEepromWord(0x7FFFFE, 0x5AA5);
    source.SetConfigWord(7, 0x0003);
    const std::string text = FormatIntelHex(source.HexImage());

    SimOptions options;
    ASSERT_TRUE(ParseIntelHex(text.data(), static_cast<int>(text.size()), options.initialImage));
    CSimTarget target(options);
    ASSERT_TRUE(target.Start());
    EXPECT_EQ(FormatIntelHex(target.HexImage()), text);
    EXPECT_EQ(target.Versions().productCode, 0x3A35);

    SimOptions sam;
    sam.chip = "S3F84YB";
    sam.initialImage = {{0x0000, 0x31}, {0x10000, 0x32}, {0x20001, 0x33}};
    CSimTarget samTarget(sam);
    ASSERT_TRUE(samTarget.Start());
    EXPECT_EQ(samTarget.HexImage(), sam.initialImage);
}

TEST(SimTargetImageTest, StartRefusesWhatCannotBeSimulated) {
    std::string error;
    SimOptions unknown;
    unknown.chip = "dsPIC99X";
    EXPECT_FALSE(CSimTarget(unknown).Start(&error));
    EXPECT_NE(error.find("dsPIC99X"), std::string::npos);

    SimOptions tooBig;
    tooBig.chip = "dsPIC30F2010";
    tooBig.initialImage = {{2 * 0x18000, 0x00}};
    EXPECT_FALSE(CSimTarget(tooBig).Start(&error));

    SimOptions badBaud;
    badBaud.bootBaud = 12345;
    EXPECT_FALSE(CSimTarget(badBaud).Start(&error));
}

// A byte the host has just written is on its way until the product has taken it: the product is
// not idle then, however soon it is asked (the kernel hands a pseudo-terminal's bytes over a
// moment after the write).
TEST(SimTargetPacingTest, AByteJustWrittenIsNeverIdle) {
    SimOptions options = BootloaderOptions("dsPIC30F2010");
    options.bootBaud = 1200;  // the product takes a byte 8.3 ms after it arrived
    options.pace = true;
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port, 1200));
    ASSERT_TRUE(target.WaitUntilIdle(kWait));
    for (int i = 0; i < 20; ++i) {
        port.Write({0x00});  // no command: the bootloader skips it
        EXPECT_FALSE(target.IsIdle()) << i;
        ASSERT_TRUE(target.WaitUntilIdle(kWait));
    }
}

TEST(SimTargetPacingTest, AFrameTakesAtLeastItsWireTime) {
    SimOptions options = BootloaderOptions("dsPIC30F2010");
    options.bootBaud = 9600;
    options.pace = true;
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port, 9600));
    const auto byteTime = std::chrono::microseconds(10 * 1000000 / 9600);

    // 100 bytes in, one acknowledge out.
    auto start = std::chrono::steady_clock::now();
    port.Write(PicRow(0x40, 32, 7));
    ASSERT_EQ(port.Read(1, kWait), std::vector<uint8_t>{kSimAck});
    EXPECT_GE(std::chrono::steady_clock::now() - start, 101 * byteTime);

    // 4 bytes in, 96 out.
    start = std::chrono::steady_clock::now();
    port.Write({0x02, 0x40, 0x00, 0x00});
    ASSERT_EQ(port.Read(96, kWait).size(), 96u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100 * byteTime);
}

TEST(SimTargetTraceTest, EveryByteIsTracedWithTimeAndDirection) {
    SimOptions options = BootloaderOptions("dsPIC30F2010");
    options.keepTrace = true;
    std::atomic<int> delivered{0};
    options.onTrace = [&delivered](const SimTraceEntry&) { ++delivered; };
    CSimTarget target(options);
    SimPort port;
    ASSERT_TRUE(StartInBootloader(target, port));
    target.ClearTrace();
    port.Write({kSimIdentify});
    ASSERT_EQ(port.Read(8, kWait).size(), 8u);
    port.SetBaud(9600);
    port.Write({kSimIdentify});
    ASSERT_TRUE(target.WaitFor([&] { return target.Counters().noiseBytes == 1; }, kWait));

    const std::vector<SimTraceEntry> trace = target.Trace();
    ASSERT_EQ(trace.size(), 10u);
    EXPECT_EQ(trace[0].direction, SimTraceDirection::HostToTarget);
    EXPECT_EQ(trace[0].byte, kSimIdentify);
    for (size_t i = 1; i < 9; ++i) {
        EXPECT_EQ(trace[i].direction, SimTraceDirection::TargetToHost);
        EXPECT_GE(trace[i].timeUs, trace[0].timeUs);
    }
    EXPECT_EQ(trace[1].byte, 0x40);
    EXPECT_EQ(trace[9].direction, SimTraceDirection::Noise);
    target.Stop();
    EXPECT_GE(delivered.load(), 10);
}

TEST(SimTargetTerminalTest, LinkPointsAtTheDeviceUntilStop) {
    char directory[] = "/tmp/tamrix-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string link = std::string(directory) + "/ttySIM";
    SimOptions options;
    options.linkPath = link;
    {
        CSimTarget target(options);
        ASSERT_TRUE(target.Start());
        char resolved[256] = {};
        ASSERT_GT(readlink(link.c_str(), resolved, sizeof resolved - 1), 0);
        EXPECT_EQ(target.DevicePath(), resolved);
        EXPECT_EQ(target.LinkPath(), link);
        SimPort port;
        EXPECT_TRUE(port.Open(link, 19200));
        port.Close();
        // The terminal outlives the host's open/close cycles.
        EXPECT_TRUE(port.Open(link, 19200));
    }
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link goes with the product";
    rmdir(directory);
}

}  // namespace
}  // namespace tamrix
