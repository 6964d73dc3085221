#pragma once
// CDeviceListDlg, the "COM Port Manager" on Windows (template 130): the serial ports present on
// this machine with their device names, drawn with the "Ports" device class's icon. OK or a
// double click hands back the chosen COM number; the list refreshes itself when a device arrives
// or leaves (WM_DEVICECHANGE), and a refresh forgets a choice not yet confirmed.

#include <windows.h>
// After windows.h:
#include <setupapi.h>

#include <memory>

#include "comm/PortEnumerator.h"

namespace tamrix {

class CDeviceListDlg {
  public:
    // Runs the dialog over `owner`: the chosen COM number, 0 when cancelled or nothing was chosen.
    static int ChoosePort(HINSTANCE instance, HWND owner);

  private:
    explicit CDeviceListDlg(std::unique_ptr<CPortEnumerator> enumerator);
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    [[nodiscard]] INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnOk();
    void OnDestroy();
    void RefreshPortList();

    std::unique_ptr<CPortEnumerator> enumerator_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    SP_CLASSIMAGELIST_DATA classImageListData_{};
    bool haveImages_ = false;
    HDEVNOTIFY notification_ = nullptr;
    int selectedPort_ = 0;
};

}  // namespace tamrix
