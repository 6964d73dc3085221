#pragma once
// CProgramer: the programmer of one target's bootloader. It owns the target's firmware image (a
// table of CMemory rows), talks to the bootloader through a CCommChannel it does not own, and
// reports to the window it is attached to. The handshake that finds and identifies the target,
// DetectTarget, is common to every family and lives here.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/DeviceTable.h"
#include "image/Memory.h"

namespace tamrix {

class CCommChannel;
class CClock;
class CReportWindow;
struct HexRecord;

// The target's product code and versions (versions in thousandths, 1200 = 1.2).
struct VersionInfo {
    uint16_t productCode = 0;
    uint16_t appVersion = 0;
    uint16_t bootVersion = 0;
    std::string productCodeText;
    std::string appVersionText;
    std::string bootVersionText;
};

// Label prefixes of the progress reports.
inline constexpr const char* kProgressWaiting = "Waiting for Hardware...";
inline constexpr const char* kProgressProgramming = "Flash Programing...";
inline constexpr const char* kProgressDone = "Programing Successfully...";

// Handshake bytes.
inline constexpr uint8_t kStartSignal = 0x0A;
inline constexpr uint8_t kIdentifyCommand = 0x09;
inline constexpr uint8_t kFinishCommand = 0x08;

// The reply of both families' version requests (0x10, and 0x11 on PIC targets).
inline constexpr int kRequestReplyBytes = 12;

class CProgramer {
  public:
    // `rowCount` entries are allocated for the row table; BuildMemoryMap creates the rows. The
    // window, when given here, is attached at once and hears of a null channel in a message box.
    CProgramer(CCommChannel* channel, CClock& clock, int rowCount, CReportWindow* window = nullptr);
    virtual ~CProgramer();
    CProgramer(const CProgramer&) = delete;
    CProgramer& operator=(const CProgramer&) = delete;

    virtual void BuildMemoryMap(int family) = 0;
    // Both read Intel HEX into the rows with the family's LoadHexText: from the file named by
    // SetHexFilePath (a file that cannot be read: progress 0, result 0), or from memory.
    [[nodiscard]] virtual int LoadHexFile();
    [[nodiscard]] virtual int LoadHexBuffer(const char* text, int length);
    [[nodiscard]] virtual int ReadTargetData(int family) = 0;
    [[nodiscard]] virtual int ReadTargetDataSmallRow() = 0;
    [[nodiscard]] virtual int ReadVersionFromFlash(VersionInfo& info, int& versionFlag) = 0;
    [[nodiscard]] virtual bool ProgramFlash(int useChecksum) = 0;
    [[nodiscard]] virtual int GetImageProductCode() = 0;
    [[nodiscard]] virtual int GetImageWord(int address) = 0;
    [[nodiscard]] virtual int ReadTargetVersion(VersionInfo& info, int& versionFlag) = 0;
    [[nodiscard]] virtual int ReadVersionAddresses(int addresses[3]) = 0;
    [[nodiscard]] virtual bool ReadFileInfo(const std::string& path, int productCodeAddress,
                                            uint16_t& productCode, int versionAddress,
                                            uint16_t& appVersion, int& versionFlag) = 0;
    [[nodiscard]] virtual bool ReadFileInfoFromBuffer(const char* text, int length,
                                                      int productCodeAddress, uint16_t& productCode,
                                                      int versionAddress, uint16_t& appVersion,
                                                      int& versionFlag) = 0;

    // Waits for the bootloader's start signal, answers it, asks for the device identification and
    // looks it up in the device table. On false, found.name is null. A stop request (see
    // SetStopRequest) ends the wait for the start signal at once, without a message.
    [[nodiscard]] bool DetectTarget(DeviceTableEntry& found);
    // True once DetectTarget has seen the start signal: a bootloader answered, whether or not it
    // could then be identified.
    bool StartSignalSeen() const { return startSignalSeen; }

    // A product left in its bootloader by an earlier try (a detect, a refused file, a failed or
    // stopped download) answers the identification request at once, while a running product's
    // firmware does not: one request, one reply time. True, after the usual identification
    // lines, when a chip of the device table answered; false, silently, otherwise.
    [[nodiscard]] bool IdentifyWaitingBootloader(DeviceTableEntry& found);

    // A status line to the attached window (nothing without one).
    void ReportStatus(const std::string& text);
    // A progress report to the attached window (nothing without one).
    void ReportProgress(int value, const std::string& labelPrefix);

    // True when the bootloader can read its flash back, so that programming can verify every row
    // it wrote (SetVerify).
    virtual bool CanReadBack() const { return false; }
    // With verification on, every program row is read back as soon as it has been acknowledged
    // and compared with what was sent; the first difference ends programming before the finish
    // byte. Only where CanReadBack.
    void SetVerify(bool on) { verify = on; }
    // True when the last programming run ended because a row read back differed (or could not be
    // read back), rather than because a row was not acknowledged.
    bool VerifyFailed() const { return verifyFailed; }
    // True when the last programming run ended because the product's answers fell out of step
    // with the rows sent and the rows concerned could not be shown to hold the file.
    bool AnswersOutOfStep() const { return answersOutOfStep; }

    void SetWindow(CReportWindow* reportWindow) { window = reportWindow; }
    // A flag another thread may set to have programming stop before the next row (null: never).
    void SetStopRequest(const std::atomic<bool>* request) { stopRequest = request; }
    CReportWindow* Window() const { return window; }
    CCommChannel* Channel() const { return channel; }
    int Progress() const { return progress; }
    int MaxAddress() const { return maxAddress; }
    void SetHexFilePath(const std::string& path) { hexFilePath = path; }
    const std::string& HexFilePath() const { return hexFilePath; }
    const std::vector<std::unique_ptr<CMemory>>& Rows() const { return rows; }

  protected:
    // Places the bytes of one checked data record into the rows, `extended` being the base
    // address the last address record set: true when every byte found its row, false otherwise
    // (after the out-of-range notices).
    [[nodiscard]] virtual bool LoadDataRecord(const HexRecord& record, uint32_t extended) = 0;

    // Ends a programming run with the finish byte, which starts the new firmware: progress 100
    // and "Successfully Done". A finish byte the port does not take (the port failed, the adapter
    // was unplugged) leaves the target in its bootloader, so that is reported as a failure; one
    // that went out but whose echo came late is not.
    [[nodiscard]] bool FinishProgramming();

    // The steps of DetectTarget. Waits up to ten seconds (from `startMs`) for the start signal,
    // dropping whatever else arrives: false after the reason's lines and box, or silently on a
    // stop request.
    [[nodiscard]] bool AwaitStartSignal(int64_t startMs);
    // Answers the start signal and lets the line settle.
    void AnswerStartSignal();
    // Asks for the identification up to five times: true when its reply is there.
    [[nodiscard]] bool AwaitIdentification();
    // Reads the identification reply and looks the chip up in the device table.
    [[nodiscard]] std::optional<DeviceTableEntry> IdentifyChip();

    // Sends the identification request and waits for its 8-byte reply for one reply time: true
    // when it is there (not yet read).
    [[nodiscard]] bool RequestIdentification();
    // Reads the 8-byte identification reply: the device identifier and PI it gives.
    struct Identification {
        uint16_t deviceId = 0;
        uint16_t pi = 0;
    };
    Identification ReadIdentification();

    // An error message box on the attached window (nothing without one).
    void ShowErrorBox(const std::string& text);

    // Reads a HEX text record by record into the rows: true when every record was handled.
    [[nodiscard]] bool LoadHexText(const char* text, int length);

    // What a family does its own way in the row loop of ProgramFlash.
    struct RowLoopRules {
        bool checkedFrames = true;        // rows go out with WriteRowChecked, else with WriteRow
        bool progressOnEvenRows = false;  // progress is reported for even table indexes only
        bool channelRequired = false;     // without a channel: false after the opening line
    };
    // The row loop of ProgramFlash: "Start Firmware upgrade", every built row in table order
    // (a refused row ends it with its address), progress by how far the row's start lies towards
    // maxAddress, then the finish byte.
    [[nodiscard]] bool ProgramRows(const RowLoopRules& rules);
    // Reads a program row that has just been written back from the target and compares it with
    // what was sent: true when equal; false when different or unreadable, after a status line
    // with the address.
    [[nodiscard]] virtual bool VerifyRow(const CMemory& row);
    // Rows whose acknowledge may have belonged to another frame (see CAnswerLedger), before the
    // finish byte: true when each has been shown to hold what was sent. A bootloader that cannot
    // read its flash back cannot show it: the run fails, and the firmware is not started.
    [[nodiscard]] virtual bool ResolveUncertainRows(const std::vector<RowTag>& uncertain);
    // After the last row: waits for answers given up that may still come, counts the link's
    // figures, and has the uncertain rows resolved. True when programming may finish.
    [[nodiscard]] bool AccountForAnswers();

    // Which queue a flush pair empties first; each exchange keeps the order its bootloader has
    // always been driven with.
    enum class FlushOrder { ReceiveFirst, TransmitFirst };
    // Empties both queues in `order` and lets the line settle for 100 ms: what opens and closes
    // an exchange with the bootloader.
    void FlushAndSettle(FlushOrder order);
    // A request framed by flush pairs: settles the line (transmit queue first), sends the one-byte
    // `command` up to five times until its 12-byte reply is there and read, and settles the line
    // again: true with `reply` filled. False (no closing flush) when no reply came or there is no
    // channel.
    [[nodiscard]] bool RequestTwelveBytes(uint8_t command, uint8_t reply[kRequestReplyBytes]);

    // Waits until at least `count` bytes are waiting on the channel, for as long as no more than
    // `limitMs` have passed since `startMs`. Blocks in the channel, never spins.
    [[nodiscard]] bool WaitForBytes(int count, int64_t startMs, int limitMs);

    // Reads away whatever arrives until the line has been quiet for `quietMs`, for at most
    // `limitMs`: what is left of a late reply is gone before a request is sent again.
    void DiscardUntilQuiet(int quietMs, int limitMs);

    CCommChannel* channel;
    CReportWindow* window = nullptr;
    const std::atomic<bool>* stopRequest = nullptr;
    bool verify = false;
    bool verifyFailed = false;
    bool startSignalSeen = false;
    bool answersOutOfStep = false;
    int progress = 0;
    int maxAddress = 0;
    std::vector<std::unique_ptr<CMemory>> rows;
    std::string hexFilePath;
    CClock& clock;
};

}  // namespace tamrix
