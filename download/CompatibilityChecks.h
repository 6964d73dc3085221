#pragma once
// The checks that run before a PIC target is programmed, in this order: does the firmware file
// belong to the product on the line (CheckFileAgainstTarget), must the product's bootloader be
// replaced first (DecideBootloaderUpdate), and, when it need not, does the user accept the file
// (ConfirmProductAndVersion). All comparisons are on the raw 16-bit numbers.

#include <cstdint>

#include "download/BootloaderTable.h"
#include "programmer/Programmer.h"

namespace tamrix {

class CReportWindow;

// The product codes of the embedded bootloader images 165 and 166. A target that reports 14900
// accepts a file of any product, and a file of product 14901 is accepted by any target, so that
// such pairs reach the bootloader decision; ConfirmProductAndVersion still refuses them when no
// bootloader pass follows.
inline constexpr uint16_t kAnyFileTargetCode = 14900;
inline constexpr uint16_t kAnyTargetFileCode = 14901;

// What the firmware text says about itself.
struct FileVersionInfo {
    uint16_t productCode = 0;
    uint16_t appVersion = 0;
    int versionFlag = 0;  // 1 when the version word's upper byte is 0
    bool found = false;   // the text holds both words (false: damaged, or no firmware text)
};

// Reads the file's product code, version and version flag with the programmer's
// ReadFileInfoFromBuffer (the values land in `file` even when a later test fails) and compares
// them with the target. True = go on. On false the user has been told: status lines through
// window->AddStatusLine, message boxes through window->ShowMessageBox (nothing without a window).
bool CheckFileAgainstTarget(CProgramer& programmer, CReportWindow* window, const char* text,
                            int length, int productCodeAddress, int versionAddress,
                            const VersionInfo& target, FileVersionInfo& file);

// The outcome of the bootloader decision; it carries over from one pass of the download process
// to the next.
struct BootloaderDecision {
    int bootloaderPass = 0;              // 1 = program the registered bootloader first
    uint16_t bootloaderResourceId = 0;   // the image to program; set only when a pass is chosen
    uint16_t registeredBootVersion = 0;  // the boot version of the entry found
};

// Looks the product up in `table` (by the target's product code when the target's versions were
// read in this pass, else by the file's) and decides whether a bootloader pass comes first. Log
// lines go to window->WriteProcessLog. When no entry is found, registeredBootVersion and
// bootloaderResourceId keep their earlier values and no pass is chosen.
void DecideBootloaderUpdate(CReportWindow* window, int targetVersionRead, const VersionInfo& target,
                            uint16_t fileProductCode, const BootloaderTableEntry* table,
                            BootloaderDecision& decision);

// The last word before an application file is programmed: true = program it, false = stop.
// Different product codes stop with a message box and then a status line (no exceptions here). With
// targetVersionFlag 1 a file older than the target's application needs the user's Yes. Message
// boxes go to programmer->Window(); the status line goes out through programmer->ReportStatus.
// Without a window nobody can agree to a downgrade, so it is refused.
[[nodiscard]] bool ConfirmProductAndVersion(uint16_t targetProductCode, CProgramer* programmer,
                                            uint16_t fileProductCode, uint16_t fileAppVersion,
                                            uint16_t targetAppVersion, int targetVersionFlag);

}  // namespace tamrix
