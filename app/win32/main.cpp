// tamrix.exe: the firmware update utility's dialog program on Windows. It prepares the common
// controls and the settings in the registry, runs the main window until the technician closes
// it, and ends.

#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include "app/win32/RegistryProfile.h"
#include "app/win32/TamrixDlg.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC =
        0xFF;  // list view, tree view, bars, tab, up-down, progress, hot-key, animation
    ::InitCommonControlsEx(&controls);
    tamrix::CRegistryProfile profile(tamrix::ProgramName());
    tamrix::CTamrixDlg window(profile);
    window.DoModal(instance);
    return 0;
}
