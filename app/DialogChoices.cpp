#include "app/DialogChoices.h"

#include "app/Profile.h"

namespace tamrix {

namespace {

void ReadInt(CProfile& profile, const char* entry, int& field) {
    const int value = profile.GetProfileInt(kSettingsSection, entry, kProfileMissing);
    if (value != kProfileMissing)
        field = value;
}

}  // namespace

DialogChoices ReadDialogChoices(CProfile& profile) {
    DialogChoices choices;
    ReadInt(profile, "Interface_Type", choices.interfaceType);
    ReadInt(profile, "Download_Port_Number", choices.portIndex);
    ReadInt(profile, "Download_Baud_Rate", choices.baudIndex);
    choices.filePath =
        profile.GetProfileString(kSettingsSection, "Firmware_File_Path", std::string());
    return choices;
}

void WriteDialogChoices(CProfile& profile, const DialogChoices& choices) {
    profile.WriteProfileInt(kSettingsSection, "Interface_Type", choices.interfaceType);
    profile.WriteProfileInt(kSettingsSection, "Download_Port_Number", choices.portIndex);
    profile.WriteProfileInt(kSettingsSection, "Download_Baud_Rate", choices.baudIndex);
    profile.WriteProfileString(kSettingsSection, "Firmware_File_Path", choices.filePath);
}

bool ReadSwitch(CProfile& profile, const char* entry) {
    // A hand-edited value other than 0 or 1 must not quietly turn something on.
    return profile.GetProfileInt(kSettingsSection, entry, 0) == 1;
}

void WriteSwitch(CProfile& profile, const char* entry, bool on) {
    profile.WriteProfileInt(kSettingsSection, entry, on ? 1 : 0);
}

}  // namespace tamrix
