#include "app/win32/DeviceListDlg.h"

#include <commctrl.h>
#include <dbt.h>
#include <initguid.h>
// After initguid.h, so that the class and interface GUIDs are defined here:
#include <devguid.h>
#include <winioctl.h>

#include "app/win32/CenterWindow.h"
#include "app/win32/ListView.h"
#include "app/win32/resource.h"
#include "comm/PortList.h"
#include "comm/PortMap.h"

namespace tamrix {

int CDeviceListDlg::ChoosePort(HINSTANCE instance, HWND owner) {
    CDeviceListDlg dialog(CreatePortEnumerator(CPortMap::MapFilePath()));
    const INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_DEVICE_LIST), owner,
                                             DialogProc, reinterpret_cast<LPARAM>(&dialog));
    return result == IDOK ? dialog.selectedPort_ : 0;
}

CDeviceListDlg::CDeviceListDlg(std::unique_ptr<CPortEnumerator> enumerator)
    : enumerator_(std::move(enumerator)) {}

INT_PTR CALLBACK CDeviceListDlg::DialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CDeviceListDlg*>(lParam);
        self->window_ = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CDeviceListDlg*>(::GetWindowLongPtrA(window, DWLP_USER));
    return self == nullptr ? FALSE : self->OnMessage(message, wParam, lParam);
}

INT_PTR CDeviceListDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK)
                OnOk();
            else if (LOWORD(wParam) == IDCANCEL)
                ::EndDialog(window_, IDCANCEL);
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_PORT_LIST && header->code == NM_DBLCLK)
                OnOk();
            return FALSE;
        }
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)
                RefreshPortList();
            ::SetWindowLongPtrA(window_, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            return FALSE;
    }
}

void CDeviceListDlg::OnInitDialog() {
    CenterWindow(window_);
    list_ = ::GetDlgItem(window_, IDC_PORT_LIST);
    SetUpListColumns(list_, LVS_EX_FULLROWSELECT, {{"Port", 80}, {"Device", 250}});
    classImageListData_.cbSize = sizeof classImageListData_;
    haveImages_ = ::SetupDiGetClassImageList(&classImageListData_) != FALSE;
    if (haveImages_)
        ::SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL,
                       reinterpret_cast<LPARAM>(classImageListData_.ImageList));
    // Serial ports arriving and leaving; the broadcast to every window names only some of them.
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_COMPORT;
    notification_ = ::RegisterDeviceNotificationA(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    RefreshPortList();
}

void CDeviceListDlg::OnDestroy() {
    if (notification_ != nullptr)
        ::UnregisterDeviceNotification(notification_);
    if (haveImages_) {
        // The system's image list is given back to the system, not destroyed with the list.
        ::SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        ::SetupDiDestroyClassImageList(&classImageListData_);
    }
}

void CDeviceListDlg::RefreshPortList() {
    selectedPort_ = 0;
    ::SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    if (enumerator_ == nullptr)
        return;
    int image = -1;
    if (!haveImages_ ||
        !::SetupDiGetClassImageIndex(&classImageListData_, &GUID_DEVCLASS_PORTS, &image))
        image = -1;
    for (const PortListEntry& entry : BuildPortList(enumerator_->Enumerate()))
        AppendListRow(list_, {entry.portName, entry.friendlyName}, image);
}

void CDeviceListDlg::OnOk() {
    const std::vector<std::string> selected = SelectedListTexts(list_, 0);
    if (!selected.empty())
        selectedPort_ = PortNumberFromSelection(selected);
    ::EndDialog(window_, IDOK);
}

}  // namespace tamrix
