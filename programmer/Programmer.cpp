#include "programmer/Programmer.h"

#include <optional>

#include "comm/CommChannel.h"
#include "common/Format.h"
#include "common/ReportWindow.h"
#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "programmer/FirmwareTextRules.h"

namespace tamrix {

namespace {

constexpr int kStartSignalWaitMs = 10000;  // the technician has ten seconds to reset the target
constexpr int kStartPollMs = 5;
constexpr int kIdentifyAttempts = 5;
constexpr int kIdentifyReplyBytes = 8;

}  // namespace

CProgramer::CProgramer(CCommChannel* commChannel, CClock& clockRef, int rowCount,
                       CReportWindow* reportWindow)
    : channel(commChannel),
      window(reportWindow),
      rows(static_cast<size_t>(rowCount)),
      clock(clockRef) {
    if (channel == nullptr && window != nullptr) {
        window->ShowMessageBox("NULL pointer provided for communication channel!",
                               kApplicationCaption, MessageIcon::None, MessageButtons::Ok);
    }
}

CProgramer::~CProgramer() = default;

int CProgramer::LoadHexBuffer(const char* text, int length) {
    ReportStatus("[Message] : Reading HexFile \r\n");
    return LoadHexText(text, length) ? 1 : 0;
}

int CProgramer::LoadHexFile() {
    ReportStatus("[Message] : Reading HexFile \r\n");
    std::string text;
    if (!ReadHexTextFile(hexFilePath, text)) {
        progress = 0;
        return 0;
    }
    return LoadHexText(text.data(), static_cast<int>(text.size())) ? 1 : 0;
}

bool CProgramer::LoadHexText(const char* text, int length) {
    // Lines may end in CR LF, LF or CR, the last one may have no end, and a record may be of any
    // valid length. A record that fails its own check (checksum, digits, byte count) stops the
    // load at once: a corrupted file must never reach the target.
    return ReadFirmwareText(
        text, length, [this](const std::string& line) { ReportStatus(line); },
        [this](const HexRecord& record, uint32_t extended) {
            return LoadDataRecord(record, extended);
        });
}

void CProgramer::ReportStatus(const std::string& text) {
    if (window != nullptr)
        window->SendStatusLine(text);
}

void CProgramer::ReportProgress(int value, const std::string& labelPrefix) {
    if (window != nullptr)
        window->SendProgress(value, labelPrefix);
}

void CProgramer::ShowErrorBox(const std::string& text) {
    if (window != nullptr) {
        window->ShowMessageBox(text, "Error", MessageIcon::Error, MessageButtons::Ok);
    }
}

bool CProgramer::VerifyRow(const CMemory& row) {
    // A bootloader without a read command cannot show what it holds: never call that verified.
    ReportStatus(Format("[Error] : Address 0x%x Verify Fail!! This bootloader cannot read its "
                        "flash back.\r\n",
                        row.baseAddress));
    return false;
}

bool CProgramer::FinishProgramming() {
    const uint8_t finish = kFinishCommand;
    // Write also says 0 when the byte went out but its echo came late, or the wait for the
    // transmitter failed afterwards: the byte was sent all the same. Only a byte the port never
    // took is a failure.
    const bool sent = channel != nullptr &&
                      (channel->Write(&finish, 1) == 1 || channel->LastWriteAccepted() == 1);
    if (!sent) {
        ReportStatus("[Error] : Finish Command Send Fail!!\r\n");
        return false;
    }
    progress = 100;
    ReportProgress(progress, kProgressDone);
    ReportStatus("[Message] : Successfully Done !!\r\n");
    return true;
}

bool CProgramer::DetectTarget(DeviceTableEntry& found) {
    ReportStatus("[Message] : Waiting for Hardware Reset..\r\n");
    const int64_t start = clock.NowMs();
    found = DeviceTableEntry{nullptr, 0, 0, 0};
    startSignalSeen = false;
    if (channel == nullptr || !AwaitStartSignal(start))
        return false;
    startSignalSeen = true;
    AnswerStartSignal();
    if (!AwaitIdentification())
        return false;
    const std::optional<DeviceTableEntry> chip = IdentifyChip();
    if (chip)
        found = *chip;
    return chip.has_value();
}

bool CProgramer::AwaitStartSignal(int64_t startMs) {
    // The bootloader announces itself with 0x0A after the target's reset; anything else on the
    // line is dropped together with the rest of the receive queue.
    while (true) {
        // A stop asked for before anything answered ends the wait; the caller says so.
        if (stopRequest != nullptr && stopRequest->load())
            return false;
        if (channel->BytesAvailable() >= 1) {
            uint8_t byte = 0;
            if (channel->Read(&byte, 1) == 1 && byte == kStartSignal)
                return true;
            if (!channel->FlushRx()) {
                ReportStatus("[Error] : COM Port not Acknowledge!!\r\n");
                return false;
            }
        }
        clock.SleepMs(kStartPollMs);
        const int64_t waited = clock.NowMs() - startMs;
        if (waited >= kStartSignalWaitMs) {
            ReportStatus("[Error] : Found not target device !!\r\n");
            ShowErrorBox("Found not target device !!");
            return false;
        }
        ReportProgress(static_cast<int>(waited * 100 / kStartSignalWaitMs), kProgressWaiting);
    }
}

void CProgramer::AnswerStartSignal() {
    ReportStatus("[Message] : Start Command Checked. Start Command Send. \r\n");
    const uint8_t answer = kStartSignal;
    // An answer whose one-wire echo came back late or changed may still have reached the
    // bootloader: whether it answers the identification request decides.
    static_cast<void>(channel->Write(&answer, 1));
    ReportStatus("[Message] : Found target device...\r\n");
    FlushAndSettle(FlushOrder::ReceiveFirst);
}

bool CProgramer::AwaitIdentification() {
    for (int attempt = 0; attempt < kIdentifyAttempts; ++attempt) {
        if (RequestIdentification())
            return true;
        ReportStatus("[Message] : Device ID Receive Fail. Retry ...\r\n");
        clock.SleepMs(100);
    }
    ReportStatus("[Error] : Found not target device ID!!\r\n");
    ShowErrorBox("Found not target device ID!!");
    return false;
}

std::optional<DeviceTableEntry> CProgramer::IdentifyChip() {
    const Identification id = ReadIdentification();
    ReportStatus(
        Format("[Message] : Received Device Info (ID:0x%04x, PI:0x%02x)\r\n", id.deviceId, id.pi));
    const DeviceTableEntry row = LookupDevice(id.deviceId, id.pi);
    if (row.family == 0) {
        ReportStatus("[Error] : Device ID not Found!!\r\n");
        ShowErrorBox("Device ID not Found!!");
        return std::nullopt;
    }
    ReportStatus(
        Format("[Message] : Found MicroProcessor (ID:0x%04x, PI:0x%02x)\r\n", id.deviceId, id.pi));
    return row;
}

bool CProgramer::RequestIdentification() {
    const uint8_t request = kIdentifyCommand;
    // Even a request whose one-wire echo came back late or changed may have reached the
    // bootloader: whether the reply comes decides.
    static_cast<void>(channel->Write(&request, 1));
    // At slow rates the 8-byte reply alone takes longer than the pause (67 ms at 1200).
    clock.SleepMs(50 + channel->WireTimeMs(kIdentifyReplyBytes));
    return channel->BytesAvailable() >= kIdentifyReplyBytes;
}

CProgramer::Identification CProgramer::ReadIdentification() {
    uint8_t reply[kIdentifyReplyBytes] = {};
    // The whole reply was seen waiting; should fewer bytes come, the zeros left in their place
    // name no chip of the device table.
    static_cast<void>(channel->Read(reply, kIdentifyReplyBytes));
    Identification id;
    id.deviceId = static_cast<uint16_t>(reply[0] + 256 * reply[1]);
    id.pi = static_cast<uint16_t>(reply[5] >> 4);  // the low nibble is the silicon revision
    return id;
}

bool CProgramer::IdentifyWaitingBootloader(DeviceTableEntry& found) {
    found = DeviceTableEntry{nullptr, 0, 0, 0};
    if (channel == nullptr || !RequestIdentification())
        return false;
    const Identification id = ReadIdentification();
    const DeviceTableEntry row = LookupDevice(id.deviceId, id.pi);
    if (row.family == 0)
        return false;  // not a bootloader of ours: the usual wake-up follows
    ReportStatus(
        "[Message] : Product already in its bootloader: it answered the identification "
        "request, so it is not woken. \r\n");
    ReportStatus(
        Format("[Message] : Received Device Info (ID:0x%04x, PI:0x%02x)\r\n", id.deviceId, id.pi));
    ReportStatus(
        Format("[Message] : Found MicroProcessor (ID:0x%04x, PI:0x%02x)\r\n", id.deviceId, id.pi));
    found = row;
    return true;
}

}  // namespace tamrix
