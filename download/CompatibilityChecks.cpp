#include "download/CompatibilityChecks.h"

#include <string>

#include "common/Format.h"
#include "common/ReportWindow.h"

namespace tamrix {

namespace {

// The line break in the middle is LF CR, and the text ends in a blank: both are shown as they are.
constexpr const char* kProductCodeWarning =
    "Product code error. \r\n \r\nProduct codes that are read are different from the inside "
    "firmware file. \n\rIf wrong firmware file is downloaded, it could cause severe damage. "
    "\r\n \r\n ";

std::string ProductCodeMessage(uint16_t targetCode, uint16_t fileCode) {
    const std::string target = Format("%d", targetCode);
    const std::string file = Format("%d", fileCode);
    return Format(
        "%s Equipment product code : %s \r\n  Firmware product code : %s \r\n \r\nDownload "
        "Process Stop!!",
        kProductCodeWarning, target.c_str(), file.c_str());
}

MessageAnswer ShowBox(CReportWindow* window, const std::string& text, const char* caption,
                      MessageIcon icon, MessageButtons buttons) {
    if (window == nullptr)
        return MessageAnswer::No;
    return window->ShowMessageBox(text, caption, icon, buttons);
}

void AddStatus(CReportWindow* window, const std::string& text) {
    if (window != nullptr)
        window->AddStatusLine(text);
}

void WriteLog(CReportWindow* window, const std::string& text) {
    if (window != nullptr)
        window->WriteProcessLog(text);
}

}  // namespace

bool CheckFileAgainstTarget(CProgramer& programmer, CReportWindow* window, const char* text,
                            int length, int productCodeAddress, int versionAddress,
                            const VersionInfo& target, FileVersionInfo& file) {
    file.found =
        programmer.ReadFileInfoFromBuffer(text, length, productCodeAddress, file.productCode,
                                          versionAddress, file.appVersion, file.versionFlag);
    if (!file.found) {
        AddStatus(window, "[Message] : Product Code Read Fail. Download Process Stop! \r\n");
        AddStatus(window, "[Message] : Check Download File Again \r\n");
        ShowBox(window, "Firmware file can't be read. \r\nPlease recheck the downloaded file.",
                "Error", MessageIcon::Error, MessageButtons::Ok);
        return false;
    }

    if (file.versionFlag == 0) {
        ShowBox(window, "Wrong firmware file! \r\nPlease download the latest version.",
                "File Version", MessageIcon::Information, MessageButtons::Ok);
        return false;
    }

    const bool sameProduct = target.productCode == file.productCode;
    if (!sameProduct && target.productCode != kAnyFileTargetCode &&
        file.productCode != kAnyTargetFileCode) {
        ShowBox(window, ProductCodeMessage(target.productCode, file.productCode), "Product Code",
                MessageIcon::Warning, MessageButtons::Ok);
        return false;
    }
    return true;
}

void DecideBootloaderUpdate(CReportWindow* window, int targetVersionRead, const VersionInfo& target,
                            uint16_t fileProductCode, const BootloaderTableEntry* table,
                            BootloaderDecision& decision) {
    const BootloaderTableEntry* entry = nullptr;
    bool chosen = false;
    if (targetVersionRead == 1) {
        WriteLog(window, "Target Version Info Read Success  \r\n");
        entry = FindBootloaderEntry(table, target.productCode);
        if (entry != nullptr) {
            decision.registeredBootVersion = entry->bootVersion;
            // Any other version, older or newer, is replaced by the registered one.
            chosen = entry->bootVersion != target.bootVersion;
        }
        WriteLog(window, Format("Version Check : Target Boot Version : 0x%x, Registered Boot "
                                "Version : 0x%x  \r\n",
                                target.bootVersion, decision.registeredBootVersion));
    } else {
        // Without the target's versions the file names the product, and any registered
        // bootloader is installed.
        WriteLog(window, "Target Version Info Read Fail  \r\n");
        entry = FindBootloaderEntry(table, fileProductCode);
        if (entry != nullptr) {
            decision.registeredBootVersion = entry->bootVersion;
            chosen = entry->bootVersion != 0;
        }
    }

    if (chosen) {
        decision.bootloaderPass = 1;
        decision.bootloaderResourceId = entry->resourceId;
    } else {
        decision.bootloaderPass = 0;
    }
}

bool ConfirmProductAndVersion(uint16_t targetProductCode, CProgramer* programmer,
                              uint16_t fileProductCode, uint16_t fileAppVersion,
                              uint16_t targetAppVersion, int targetVersionFlag) {
    CReportWindow* window = programmer != nullptr ? programmer->Window() : nullptr;

    if (targetProductCode != fileProductCode) {
        ShowBox(window, ProductCodeMessage(targetProductCode, fileProductCode), "Product Code",
                MessageIcon::Warning, MessageButtons::Ok);
        if (programmer != nullptr) {
            programmer->ReportStatus(
                "[Message] : Product Code Mismatch. Download Process Stop! \r\n");
        }
        return false;
    }

    if (targetVersionFlag == 1 && fileAppVersion < targetAppVersion) {
        const MessageAnswer answer =
            ShowBox(window,
                    "The firmware file to be updated is lower than the product version \r\n "
                    "\r\nDo you want to download?",
                    "Product Code", MessageIcon::Question, MessageButtons::YesNo);
        return answer == MessageAnswer::Yes;
    }
    return true;
}

}  // namespace tamrix
