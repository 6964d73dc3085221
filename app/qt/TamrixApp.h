#pragma once
// CTamrixApp, the application: it sets up the settings store the main window keeps its choices
// in, runs the main window until the technician closes it, and ends.

#include <QApplication>

namespace tamrix {

// The organisation the settings are kept under: with the program file's name and the section
// "Firmware_Downloader", the same place the product's technicians have always had them in.
inline constexpr const char* kSettingsOrganisation = "Local AppWizard-Generated Applications";

class CTamrixApp : public QApplication {
  public:
    CTamrixApp(int& argc, char** argv);

    // Runs the main window to its end; the program's exit status.
    int InitInstance();

    // The settings' application name: the program file's name without its extension, so a
    // renamed program starts from the defaults.
    static QString SettingsApplicationName(const QString& programPath);
};

}  // namespace tamrix
