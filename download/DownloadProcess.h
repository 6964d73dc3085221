#pragma once
// One download process: wake the product, find and identify its bootloader, read the target's
// version, unscramble the firmware file, check that file and target belong together, replace the
// bootloader first where a newer one is registered, and program the firmware row by row.
// It reports only through the window it is given, so the GUI and tamrix-cli run it unchanged.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/PortName.h"
#include "common/LinkChoices.h"
#include "download/BootloaderImages.h"
#include "download/BootloaderTable.h"
#include "download/ChannelOpener.h"
#include "download/CompatibilityChecks.h"
#include "download/DownloadRecord.h"
#include "download/StatusTap.h"
#include "programmer/Programmer.h"

namespace tamrix {

class CClock;
class CReportWindow;

// What the Program button hands to the worker.
struct DownloadParams {
    PortName port;                    // COM number (port map) or device path
    int baudRate = kDefaultBaudRate;  // 1200 .. 115200
    Wiring wiring = Wiring::TwoWire;  // that of every channel the download opens
    std::string filePath;             // the firmware file, whatever its extension
    CReportWindow* window = nullptr;
};

// What the program as a whole decides for every download (tests change them).
struct DownloadSettings {
    uint32_t conversionSeed;                      // keystream seed of the firmware files
    const BootloaderTableEntry* bootloaderTable;  // registered bootloaders
    int maxBootloaderPasses = 3;  // a bootloader that never takes is not retried forever
    CClock* clock = nullptr;      // null: the system clock
    CPortMap portMap = CPortMap::Defaults();  // the devices of the COM numbers, loaded once
    ChannelOpener openChannel;  // empty: serial ports on DownloadParams::port, through portMap
    // The bootloader images the program carries, by resource id (null: none with that id).
    std::function<const EmbeddedBootloaderImage*(uint16_t)> findBootloaderImage;
    // Set from another thread to stop the download at the next safe point: between two steps, or
    // between two rows (null: the download always runs to its end).
    std::shared_ptr<const std::atomic<bool>> stopRequest;
    // Read every program row back after its write and compare it before the finish byte (only
    // targets whose bootloader can read its flash; others are refused before anything is written).
    bool verify = false;
    // The firmware file's text, already read and unscrambled by the caller, for downloads that
    // program one file many times (several products at once, or one after another): they all
    // program the same bytes, and none contends with the others for the file. Null: the download
    // reads the file named in its parameters.
    std::shared_ptr<const std::vector<uint8_t>> firmwareText;

    DownloadSettings();
};

// How a download process ended. Only Success means every row was acknowledged and the finish byte
// was sent.
enum class DownloadOutcome {
    Success,
    PortOpenFailed,      // the port could not be opened for the download itself
    NoTarget,            // no start signal, no identification, or an unknown chip
    NoProgrammer,        // identified, but no programmer for it here (ATmega128)
    VersionReadFailed,   // the target's version could not be read from its flash
    FileLoadFailed,      // the firmware file is missing, unreadable, empty or too large, or its
                         // text has stray bytes (a byte-order mark, an end-of-file mark)
    FileInfoUnreadable,  // no product code and version in the text: damaged, or not a firmware file
    CheckRefused,        // wrong product, version flag 0, or No to a downgrade
    BootloaderMissing,   // a registered bootloader image is not in this program
    BootloaderPlaceholder,  // the registered image is a placeholder, never to be programmed
    BootloaderPassLimit,    // the bootloader still differs after the allowed number of passes
    ParseFailed,            // the firmware text is not valid Intel HEX for this target
    TargetReadFailed,       // the target's reset vector could not be read back
    ProgrammingFailed,      // a row was not acknowledged
    VerifyFailed,           // a row read back differs from what was written, or could not be read
    AnswersOutOfStep,       // the answers fell out of step with the rows, and the rows concerned
                            // could not be shown to hold the file
    VerifyUnavailable,      // verification asked for, but this chip's bootloader cannot read back
    Stopped,  // stopped on request: no finish byte; a woken product stays in its bootloader
};

const char* DownloadOutcomeName(DownloadOutcome outcome);

class CDownloadProcess {
  public:
    CDownloadProcess(DownloadParams params, DownloadSettings settings = DownloadSettings());
    ~CDownloadProcess();

    // Runs the process to its end (one or more passes).
    DownloadOutcome Run();

    // Passes begun so far (a bootloader pass is followed by another one).
    int Passes() const { return passes_; }

    // What the process did so far; complete once Run has returned.
    const DownloadRecord& Record() const { return record_; }

  private:
    enum class PassEnd { Finished, NextPass };
    // Reads and unscrambles the firmware file once, before the product is woken: a file that
    // cannot be read must not leave the product waiting in its bootloader.
    bool LoadFirmwareFile();
    PassEnd RunPass();
    // The steps of a pass; false: the process stops (the outcome is recorded).
    bool ReachTheTarget(DeviceTableEntry& entry);
    bool TakeProgrammerFor(const DeviceTableEntry& entry);
    bool ReadTargetVersions();
    void TakeFileText();
    bool CheckFileAndTarget(bool& bootloaderPass);
    bool TakeBootloaderImage();
    DownloadOutcome Program(const DeviceTableEntry& entry);
    PassEnd Restart();
    bool StopWith(DownloadOutcome outcome);
    bool StopRequested() const;
    PassEnd StopOnRequest();
    PassEnd Stop(DownloadOutcome outcome);
    // Closes and drops the pass's channel and programmer, keeping what went over the link.
    void ReleaseConnection();
    bool RefuseVerify(const DeviceTableEntry& entry);
    // A file made for the other family's bootloader is refused before anything is read or
    // written: its rows would be placed and sent in the wrong layout.
    bool RefuseOtherFamilysFile(const DeviceTableEntry& entry, bool sam);
    void StatusLine(const std::string& text);
    void LogLine(const std::string& text);
    void ErrorBox(const std::string& text);

    DownloadParams params_;
    DownloadSettings settings_;
    // In front of the caller's window (when there is one): the record's last status line.
    std::unique_ptr<CStatusTap> tap_;
    DownloadRecord record_;
    CClock& clock_;
    DownloadOutcome outcome_ = DownloadOutcome::NoTarget;
    int passes_ = 0;
    int bootloaderPasses_ = 0;

    // Kept for the whole process, from one pass to the next.
    std::vector<uint8_t> fileText_;  // the firmware file's Intel HEX text, read once
    std::vector<uint8_t> imageBuffer_;
    int imageSize_ = 0;
    VersionInfo versionInfo_;
    int versionAddresses_[3] = {0, 0, 0};  // product code, application version, (unused)
    int addressesRead_ = 0;
    int targetVersionRead_ = 0;
    int targetVersionFlag_ = 0;
    FileVersionInfo fileInfo_;
    BootloaderDecision decision_;

    // Created anew in every pass; the channel is released before the programmer.
    std::unique_ptr<CCommChannel> channel_;
    std::unique_ptr<CProgramer> programmer_;
};

// The worker's procedure: runs one download process and returns 0, whatever the outcome
// (the outcome is left in *outcome, and the record in *record, when given).
int DownloadThreadProc(std::unique_ptr<DownloadParams> params, const DownloadSettings& settings,
                       DownloadOutcome* outcome = nullptr, DownloadRecord* record = nullptr);

}  // namespace tamrix
