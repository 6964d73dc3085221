#include "download/DownloadProcess.h"

#include <algorithm>
#include <optional>

#include "comm/CommChannel.h"
#include "common/Format.h"
#include "common/ReportWindow.h"
#include "download/BootloaderImages.h"
#include "download/DownloadStart.h"
#include "download/FirmwareFileLoad.h"
#include "download/ReachTarget.h"
#include "image/FileLayout.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "programmer/FirmwareTextRules.h"
#include "programmer/PicVersion.h"
#include "programmer/ProgrammerFactory.h"

namespace tamrix {

DownloadSettings::DownloadSettings()
    : conversionSeed(kConversionSeed),
      bootloaderTable(DeliveredBootloaderTable()),
      findBootloaderImage(FindBootloaderImage) {}

const char* DownloadOutcomeName(DownloadOutcome outcome) {
    switch (outcome) {
        case DownloadOutcome::Success:
            return "success";
        case DownloadOutcome::PortOpenFailed:
            return "port not opened";
        case DownloadOutcome::NoTarget:
            return "no target";
        case DownloadOutcome::NoProgrammer:
            return "no programmer for this chip";
        case DownloadOutcome::VersionReadFailed:
            return "target version not readable";
        case DownloadOutcome::FileLoadFailed:
            return "firmware file not loaded";
        case DownloadOutcome::FileInfoUnreadable:
            return "firmware file not readable";
        case DownloadOutcome::CheckRefused:
            return "firmware file refused";
        case DownloadOutcome::BootloaderMissing:
            return "bootloader image missing";
        case DownloadOutcome::BootloaderPlaceholder:
            return "bootloader image is a placeholder";
        case DownloadOutcome::BootloaderPassLimit:
            return "bootloader update did not take";
        case DownloadOutcome::Stopped:
            return "stopped on request";
        case DownloadOutcome::ParseFailed:
            return "firmware file not parsed";
        case DownloadOutcome::TargetReadFailed:
            return "target flash not readable";
        case DownloadOutcome::ProgrammingFailed:
            return "programming failed";
        case DownloadOutcome::VerifyFailed:
            return "verify failed";
        case DownloadOutcome::AnswersOutOfStep:
            return "answers out of step";
        case DownloadOutcome::VerifyUnavailable:
            return "verify not possible on this chip";
    }
    return "?";
}

CDownloadProcess::CDownloadProcess(DownloadParams params, DownloadSettings settings)
    : params_(std::move(params)),
      settings_(std::move(settings)),
      clock_(settings_.clock != nullptr ? *settings_.clock : CSystemClock::Instance()) {
    if (!settings_.openChannel)
        settings_.openChannel = SerialPortOpener(params_.port, settings_.portMap, params_.window);
    if (!settings_.findBootloaderImage)
        settings_.findBootloaderImage = FindBootloaderImage;
    if (params_.window != nullptr) {
        tap_ = std::make_unique<CStatusTap>(params_.window);
        params_.window = tap_.get();
    }
    record_.verifyAsked = settings_.verify;
}

CDownloadProcess::~CDownloadProcess() {
    ReleaseConnection();
}

void CDownloadProcess::ReleaseConnection() {
    if (channel_) {
        channel_->Close();
        record_.link += channel_->Statistics();
    }
    channel_.reset();
    programmer_.reset();
}

void CDownloadProcess::StatusLine(const std::string& text) {
    if (params_.window != nullptr)
        params_.window->AddStatusLine(text);
}

void CDownloadProcess::LogLine(const std::string& text) {
    if (params_.window != nullptr)
        params_.window->WriteProcessLog(text);
}

void CDownloadProcess::ErrorBox(const std::string& text) {
    if (params_.window != nullptr) {
        params_.window->ShowMessageBox(text, "Error", MessageIcon::Error, MessageButtons::Ok);
    }
}

DownloadOutcome CDownloadProcess::Run() {
    record_.started = std::chrono::system_clock::now();
    imageBuffer_.assign(kImageBufferSize, 0);
    if (LoadFirmwareFile()) {
        while (RunPass() == PassEnd::NextPass) {
        }
    }
    imageBuffer_.clear();
    imageBuffer_.shrink_to_fit();
    fileText_.clear();
    fileText_.shrink_to_fit();
    record_.passes = passes_;
    record_.bootloaderPasses = bootloaderPasses_;
    record_.targetVersionRead = targetVersionRead_ == 1;
    record_.before = versionInfo_;
    record_.fileInfoRead = fileInfo_.found;
    record_.fileProductCode = fileInfo_.productCode;
    record_.fileAppVersion = fileInfo_.appVersion;
    if (tap_)
        record_.lastStatusLine = tap_->LastStatusLine();
    record_.ended = std::chrono::system_clock::now();
    return outcome_;
}

bool CDownloadProcess::LoadFirmwareFile() {
    // After the status line that says the file cannot be used.
    const auto refuse = [this] {
        ErrorBox("File Loading Fail \r\nDownload Process Stop!");
        outcome_ = DownloadOutcome::FileLoadFailed;
        return false;
    };
    if (settings_.firmwareText != nullptr) {
        fileText_ = *settings_.firmwareText;
    } else if (std::optional<std::vector<uint8_t>> text = ReadFirmwareFileText(
                   params_.filePath, settings_.conversionSeed, params_.window)) {
        // Every pass takes the text from here, so all of them program the very file that was
        // checked first, even when the file on disk changes meanwhile.
        fileText_ = std::move(*text);
    } else {
        return refuse();
    }
    // The record names these bytes, not whatever lies on the disk when the download ends.
    record_.fileSha256 = FirmwareFileSha256(fileText_, settings_.conversionSeed);
    switch (CheckFirmwareText(fileText_, params_.window)) {
        case FirmwareTextFault::None:
            return true;
        case FirmwareTextFault::StrayBytes:
            return refuse();
        case FirmwareTextFault::Records:
            break;
    }
    ErrorBox("File Parse Fail. \r\nDownload Process Stop! \r\n");
    outcome_ = DownloadOutcome::ParseFailed;
    return false;
}

// The end of a pass that is not followed by another one: the channel first, then the programmer.
CDownloadProcess::PassEnd CDownloadProcess::Stop(DownloadOutcome outcome) {
    outcome_ = outcome;
    ReleaseConnection();
    return PassEnd::Finished;
}

// One pass: reach the target, take its programmer, read its versions, take the file's text, check
// file and target, program, and (after a bootloader) restart. A step that stops the process
// records why and returns false.
CDownloadProcess::PassEnd CDownloadProcess::RunPass() {
    ++passes_;
    if (StopRequested()) {
        StatusLine("[Notice] : Download stopped before the product was woken: it still runs its "
                   "firmware. \r\n");
        return Stop(DownloadOutcome::Stopped);
    }
    DeviceTableEntry entry{};
    if (!ReachTheTarget(entry)) {
        // The wait for the start signal ends at once on a stop request.
        const bool stopped = outcome_ == DownloadOutcome::NoTarget && StopRequested();
        return stopped ? StopOnRequest() : Stop(outcome_);
    }
    if (!TakeProgrammerFor(entry) || !RefuseVerify(entry))
        return Stop(outcome_);
    programmer_->SetStopRequest(settings_.stopRequest.get());
    programmer_->SetVerify(settings_.verify);
    const bool sam = ProgrammerKindFor(entry) == ProgrammerKind::Sam;
    if (!RefuseOtherFamilysFile(entry, sam))
        return Stop(outcome_);
    if (!sam && !ReadTargetVersions())
        return Stop(outcome_);
    TakeFileText();
    bool bootloaderPass = false;
    if (!sam && !CheckFileAndTarget(bootloaderPass))
        return Stop(outcome_);
    if (StopRequested())
        return StopOnRequest();
    const DownloadOutcome programmed = Program(entry);
    // The row loop has said where it stopped.
    if (programmed != DownloadOutcome::Success && StopRequested())
        return Stop(DownloadOutcome::Stopped);
    if (bootloaderPass)
        return Restart();
    return Stop(programmed);
}

bool CDownloadProcess::StopRequested() const {
    return settings_.stopRequest != nullptr && settings_.stopRequest->load();
}

// After the wake-up, before the first row.
CDownloadProcess::PassEnd CDownloadProcess::StopOnRequest() {
    StatusLine(
        "[Notice] : Download stopped before programming: nothing was written. A product "
        "that was woken waits in its bootloader: run the download again, or power it off "
        "and on to start its firmware again. \r\n");
    return Stop(DownloadOutcome::Stopped);
}

bool CDownloadProcess::StopWith(DownloadOutcome outcome) {
    outcome_ = outcome;
    return false;
}

// Wake-up, the pass's channel, the handshake.
bool CDownloadProcess::ReachTheTarget(DeviceTableEntry& entry) {
    TargetReach reach = ReachTarget(settings_.openChannel, params_.baudRate, params_.wiring,
                                    params_.window, clock_, settings_.stopRequest.get());
    channel_ = std::move(reach.channel);
    if (!reach.portOpened) {
        // Nothing can be said to a target on a port that is not open: stop now rather than wait
        // ten seconds for a start signal that cannot arrive.
        ReportPortOpenFail(params_.window,
                           channel_ ? channel_->LastOpenFailure() : OpenFailure());
        return StopWith(DownloadOutcome::PortOpenFailed);
    }
    entry = reach.entry;
    if (entry.name != nullptr) {
        record_.chip = entry.name;
        record_.deviceId = entry.deviceId;
        record_.family = entry.family;
    }
    return entry.name != nullptr || StopWith(DownloadOutcome::NoTarget);
}

// The identifier, not the family, decides which programmer serves the chip.
bool CDownloadProcess::TakeProgrammerFor(const DeviceTableEntry& entry) {
    programmer_ = MakeProgrammerFor(entry, channel_.get(), clock_, params_.window);
    if (programmer_ != nullptr)
        return true;
    StatusLine(Format("[Error] : %s is not supported by this program. Download Process Stop! \r\n",
                      entry.name));
    ErrorBox(
        Format("%s can't be programmed by this program. \r\nDownload Process Stop!", entry.name));
    return StopWith(DownloadOutcome::NoProgrammer);
}

// Verification asked of a chip whose bootloader cannot read its flash: refused before anything is
// read or written, rather than programmed without the proof that was asked for. True when the
// download may go on.
bool CDownloadProcess::RefuseVerify(const DeviceTableEntry& entry) {
    if (!settings_.verify || programmer_->CanReadBack())
        return true;
    StatusLine(Format("[Error] : %s cannot be verified: its bootloader has no command to read the "
                      "flash back. Nothing was written; run the download without verify. The "
                      "product waits in its bootloader: power it off and on to start its "
                      "firmware again. \r\n",
                      entry.name));
    ErrorBox(Format("%s can't be verified: its bootloader cannot read the flash back. "
                    "\r\nDownload Process Stop!",
                    entry.name));
    return StopWith(DownloadOutcome::VerifyUnavailable);
}

bool CDownloadProcess::RefuseOtherFamilysFile(const DeviceTableEntry& entry, bool sam) {
    const FileLayoutFacts facts = ExamineFileLayout(reinterpret_cast<const char*>(fileText_.data()),
                                                    static_cast<int>(fileText_.size()));
    const bool mismatch = sam ? ClearlyPicFile(facts) : ClearlySamFile(facts);
    if (!mismatch)
        return true;
    const char* fileFamily = sam ? "a 16-bit PIC product" : "a Samsung S3F8 product";
    StatusLine(
        Format("[Message] : The firmware file is made for %s, but the product on the "
               "port identifies as %s. Download Process Stop! \r\n",
               fileFamily, entry.name));
    if (params_.window != nullptr) {
        params_.window->ShowMessageBox(
            Format("Wrong firmware file! \r\nThis file is made for %s, but the product on the "
                   "port identifies as %s. \r\nDownload Process Stop!",
                   fileFamily, entry.name),
            "File Version", MessageIcon::Warning, MessageButtons::Ok);
    }
    return StopWith(DownloadOutcome::CheckRefused);
}

// PIC targets: the version request, the version addresses, or else the version in the flash.
bool CDownloadProcess::ReadTargetVersions() {
    targetVersionRead_ = programmer_->ReadTargetVersion(versionInfo_, targetVersionFlag_);
    if (targetVersionRead_ == 1)
        addressesRead_ = programmer_->ReadVersionAddresses(versionAddresses_);
    if (addressesRead_ != 0)
        return true;
    // Where the product keeps its identity when the bootloader cannot say (older bootloaders do
    // not know the 0x11 request).
    versionAddresses_[0] = kPicProductCodeAddress;
    versionAddresses_[1] = kPicVersionAddress;
    versionAddresses_[2] = kPicThirdAddress;
    StatusLine("[Message] : Version Address Read - Fail \r\n");
    // The flash says whether its version can be compared just as the version answer does: a
    // downgrade is asked about whichever way the version was read.
    if (programmer_->ReadVersionFromFlash(versionInfo_, targetVersionFlag_) == 0)
        return StopWith(DownloadOutcome::VersionReadFailed);
    targetVersionRead_ = 1;
    return true;
}

// The firmware text, as read before the product was woken.
void CDownloadProcess::TakeFileText() {
    std::fill(imageBuffer_.begin(), imageBuffer_.end(), 0);
    std::copy(fileText_.begin(), fileText_.end(), imageBuffer_.begin());
    imageSize_ = static_cast<int>(fileText_.size());
}

// PIC targets: does the file belong to this product, is it older, must the bootloader go first?
// On a bootloader pass the buffer holds the bootloader's text afterwards.
bool CDownloadProcess::CheckFileAndTarget(bool& bootloaderPass) {
    CReportWindow* window = params_.window;
    const char* text = reinterpret_cast<const char*>(imageBuffer_.data());
    if (!CheckFileAgainstTarget(*programmer_, window, text, imageSize_, versionAddresses_[0],
                                versionAddresses_[1], versionInfo_, fileInfo_)) {
        // A file that cannot be read is a file problem, not a product that does not match.
        return StopWith(fileInfo_.found ? DownloadOutcome::CheckRefused
                                        : DownloadOutcome::FileInfoUnreadable);
    }
    DecideBootloaderUpdate(window, targetVersionRead_, versionInfo_, fileInfo_.productCode,
                           settings_.bootloaderTable, decision_);
    if (decision_.bootloaderPass == 1) {
        bootloaderPass = true;
        return TakeBootloaderImage();
    }
    if (!ConfirmProductAndVersion(versionInfo_.productCode, programmer_.get(),
                                  fileInfo_.productCode, fileInfo_.appVersion,
                                  versionInfo_.appVersion, targetVersionFlag_)) {
        return StopWith(DownloadOutcome::CheckRefused);
    }
    StatusLine("[Message] : Application Firmware Download \r\n");
    return true;
}

bool CDownloadProcess::TakeBootloaderImage() {
    const uint16_t id = decision_.bootloaderResourceId;
    if (bootloaderPasses_ >= settings_.maxBootloaderPasses) {
        StatusLine(
            Format("[Error] : BootLoader still differs after %d update pass(es). "
                   "Download Process Stop! \r\n",
                   bootloaderPasses_));
        ErrorBox("BootLoader Update Fail \r\nDownload Process Stop!");
        return StopWith(DownloadOutcome::BootloaderPassLimit);
    }
    if (params_.window != nullptr) {
        params_.window->ShowMessageBox(
            Format("BootLoader is updated with the latest version. \r\nThe version of the "
                   "BootLoader to be updated is %0.1f",
                   decision_.registeredBootVersion / 1000.0),
            "BootLoader", MessageIcon::Information, MessageButtons::Ok);
    }
    const EmbeddedBootloaderImage* image = settings_.findBootloaderImage(id);
    if (image != nullptr && image->placeholder) {
        // A stand-in that only looks like the real bootloader: programming it would leave the
        // product without a working bootloader.
        StatusLine(
            Format("[Error] : BootLoader image 0x%x is a placeholder, not a real "
                   "bootloader. Download Process Stop! \r\n",
                   id));
        ErrorBox(
            Format("BootLoader image 0x%x of this program is a placeholder and is never "
                   "programmed. \r\nDownload Process Stop!",
                   id));
        return StopWith(DownloadOutcome::BootloaderPlaceholder);
    }
    std::fill(imageBuffer_.begin(), imageBuffer_.end(), 0);
    const std::optional<int> size =
        image != nullptr ? CopyBootloaderImage(*image, imageBuffer_.data()) : std::nullopt;
    if (!size) {
        // Never program what is left in the buffer: stop with the target untouched.
        StatusLine(
            Format("[Error] : BootLoader image 0x%x not found. Download Process Stop! \r\n", id));
        ErrorBox("BootLoader Image Load Fail \r\nDownload Process Stop!");
        return StopWith(DownloadOutcome::BootloaderMissing);
    }
    imageSize_ = *size;
    StatusLine("[Message] : BootLoader Firmware Download \r\n");
    LogLine(Format("BootLoader Download. ResourceID : 0x%x  \r\n", id));
    ++bootloaderPasses_;
    return true;
}

// Whatever text the buffer holds (application or bootloader image): rows built, filled, packed
// and written.
DownloadOutcome CDownloadProcess::Program(const DeviceTableEntry& entry) {
    programmer_->BuildMemoryMap(entry.family);
    const char* text = reinterpret_cast<const char*>(imageBuffer_.data());
    if (programmer_->LoadHexBuffer(text, imageSize_) != 1) {
        StatusLine("[Message] : File Parse Fail. Download Process Stop! \r\n");
        ErrorBox("File Parse Fail. \r\nDownload Process Stop! \r\n");
        return DownloadOutcome::ParseFailed;
    }
    LogLine("Hex File Parse Success \r\n");
    if (programmer_->ReadTargetData(entry.family) != 1)
        return DownloadOutcome::TargetReadFailed;
    LogLine("Flash Read Success. Flash Program Start! \r\n");
    const LinkStatistics before = channel_->Statistics();
    const int64_t startMs = clock_.NowMs();
    const bool programmed = programmer_->ProgramFlash(0);
    const LinkStatistics& after = channel_->Statistics();
    record_.programmingMs += clock_.NowMs() - startMs;
    record_.programmingBytes += after.bytesSent - before.bytesSent + after.bytesReceived -
                                before.bytesReceived;
    if (!programmed) {
        LogLine("Flash Program Fail! \r\n");
        if (programmer_->VerifyFailed())
            return DownloadOutcome::VerifyFailed;
        return programmer_->AnswersOutOfStep() ? DownloadOutcome::AnswersOutOfStep
                                               : DownloadOutcome::ProgrammingFailed;
    }
    LogLine("Flash Program Success! \r\n");
    return DownloadOutcome::Success;
}

// After a bootloader pass, whatever its outcome: the target restarts and is examined again; it
// may now run the new bootloader.
CDownloadProcess::PassEnd CDownloadProcess::Restart() {
    clock_.SleepMs(1000);
    StatusLine("[Message] : Boot Loader Download Complete \r\n");
    StatusLine("[Message] : Application Firmware Download Start \r\n");
    ReleaseConnection();
    clock_.SleepMs(2000);
    return PassEnd::NextPass;
}

int DownloadThreadProc(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                       DownloadOutcome* outcome, DownloadRecord* record) {
    CDownloadProcess process(std::move(*params), settings);
    params.reset();
    const DownloadOutcome result = process.Run();
    if (outcome != nullptr)
        *outcome = result;
    if (record != nullptr)
        *record = process.Record();
    return 0;
}

}  // namespace tamrix
