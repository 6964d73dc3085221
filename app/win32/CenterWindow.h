#pragma once
// Dialogs open centred over the window that owns them, and the main window in the middle of the
// screen's work area, as dialogs of Windows programs have always opened.

#include <windows.h>

namespace tamrix {

void CenterWindow(HWND window);

}  // namespace tamrix
