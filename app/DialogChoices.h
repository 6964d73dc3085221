#pragma once
// The four choices the main window remembers between runs, and how they are kept in the settings
// section "Firmware_Downloader". Whole numbers are read with 255 as the default: 255 means "not
// stored" and leaves the window's own default. The port and baud values are list positions
// (0 = COM1, 0 = 1200), not a port number or a rate.

#include <string>

#include "common/LinkChoices.h"

namespace tamrix {

class CProfile;

inline constexpr const char* kSettingsSection = "Firmware_Downloader";
inline constexpr int kProfileMissing = 255;

struct DialogChoices {
    int interfaceType = 0;                   // 0 two wires ("Built-in USB"), 1 one signal wire
    int portIndex = kDefaultPortNumber - 1;  // COM4
    int baudIndex = kDefaultBaudIndex;       // 115200
    std::string filePath;
};

// The stored choices over the defaults above.
DialogChoices ReadDialogChoices(CProfile& profile);
// Stores all four, in the order "Interface_Type", "Download_Port_Number", "Download_Baud_Rate",
// "Firmware_File_Path".
void WriteDialogChoices(CProfile& profile, const DialogChoices& choices);

// Two switches kept beside the four choices and stored as soon as they are changed: "Verify"
// (read every program row back after writing it) and "RunReport" (append a record of every
// download to the run report file). 1 is on; 0, nothing stored or anything else is off.
inline constexpr const char* kVerifyEntry = "Verify";
inline constexpr const char* kRunReportEntry = "RunReport";

bool ReadSwitch(CProfile& profile, const char* entry);
void WriteSwitch(CProfile& profile, const char* entry, bool on);

}  // namespace tamrix
