#pragma once
// The About box: template 100 (the program's icon, its name and version, and OK).

#include <windows.h>

namespace tamrix {

class CAboutDlg {
  public:
    // Runs the box over `owner` until OK, Escape or the close box ends it.
    static void DoModal(HINSTANCE instance, HWND owner);

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace tamrix
