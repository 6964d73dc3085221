#include "app/win32/AboutDlg.h"

#include "app/win32/CenterWindow.h"
#include "app/win32/resource.h"

namespace tamrix {

void CAboutDlg::DoModal(HINSTANCE instance, HWND owner) {
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CenterWindow(window);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace tamrix
