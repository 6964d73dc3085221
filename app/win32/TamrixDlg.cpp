#include "app/win32/TamrixDlg.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "app/Profile.h"
#include "app/win32/AboutDlg.h"
#include "app/win32/CenterWindow.h"
#include "app/win32/DeviceListDlg.h"
#include "app/win32/DialogInitData.h"
#include "app/win32/ListView.h"
#include "app/win32/MessageHandOver.h"
#include "app/win32/RegistryProfile.h"
#include "app/win32/resource.h"

namespace tamrix {

namespace {

constexpr const char* kCaption = "ZKT Orvane Firmware Update Utility.  Ver-1.0";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 250;
constexpr int kDownloadControls[] = {IDC_BROWSE, IDC_PROGRAM, IDC_SEARCH, IDC_COM_PORT,
                                     IDC_BAUD_RATE};

UINT BoxStyle(MessageIcon icon, MessageButtons buttons) {
    UINT style = buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
        case MessageIcon::Error:
            return style | MB_ICONERROR;
        case MessageIcon::Warning:
            return style | MB_ICONWARNING;
        case MessageIcon::Information:
            return style | MB_ICONINFORMATION;
        case MessageIcon::Question:
            return style | MB_ICONQUESTION;
        case MessageIcon::None:
            break;
    }
    return style;
}

std::string WindowText(HWND control) {
    std::vector<char> text(static_cast<std::size_t>(::GetWindowTextLengthA(control)) + 1, '\0');
    ::GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
    return std::string(text.data());
}

// Sets a control's text unless it shows that text already.
void SetTextIfChanged(HWND control, const std::string& text) {
    if (WindowText(control) != text)
        ::SetWindowTextA(control, text.c_str());
}

// The message box of this thread that `owner` owns: the close question, still open.
HWND OwnedMessageBox(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM context) -> BOOL {
            auto* wanted = reinterpret_cast<Search*>(context);
            char name[16] = {};
            ::GetClassNameA(window, name, sizeof name);
            if (std::string(name) != "#32770" || ::GetWindow(window, GW_OWNER) != wanted->owner)
                return TRUE;
            wanted->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

CTamrixDlg::CTamrixDlg(CProfile& profile) : profile_(profile) {
    CDialogView& view = *this;
    DialogLogicServices services;
    services.profile = &profile_;
    logic_ = std::make_unique<CDialogLogic>(view, std::move(services));
}

CTamrixDlg::~CTamrixDlg() {
    logic_.reset();
}

void CTamrixDlg::DoModal(HINSTANCE instance) {
    instance_ = instance;
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_TAMRIX_DIALOG), nullptr, DialogProc,
                      reinterpret_cast<LPARAM>(this));
    // A download stopped by closing the window ends its row first, so the port is released and
    // the product left in its bootloader, not in the middle of a frame.
    logic_->WaitForDownloadEnd();
    window_ = nullptr;
}

INT_PTR CALLBACK CTamrixDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CTamrixDlg*>(lParam);
        self->window_ = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CTamrixDlg*>(::GetWindowLongPtrA(window, DWLP_USER));
    return self == nullptr ? FALSE : self->OnMessage(message, wParam, lParam);
}

INT_PTR CTamrixDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_TIMER:
            if (wParam == kTimerId)
                OnTimer();
            return TRUE;
        case WM_DOWNLOAD_ENDED:
            OnTimer();
            return TRUE;
        case WM_SHOW_PROGRESS_LABEL:
            labelPosted_ = false;
            SetTextIfChanged(Item(IDC_PROGRESS_TEXT), label_);
            return TRUE;
        case WM_SYSCOMMAND:
            OnSysCommand(static_cast<UINT>(wParam & 0xFFF0));
            return (wParam & 0xFFF0) < 0xF000;
        case WM_CLOSE:
            OnClose(IDCANCEL);
            return TRUE;
        case WM_PAINT:
            if (!::IsIconic(window_))
                return FALSE;
            OnPaintIconic();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
        default:
            break;
    }
    if (!OnReport(message, wParam, lParam))
        return FALSE;
    ::SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
    return TRUE;
}

bool CTamrixDlg::OnReport(UINT message, WPARAM wParam, LPARAM lParam) {
    // The sender's objects: copied before the handler returns, as the worker reuses them.
    if (message == WM_STATUS_LINE) {
        logic_->SendStatusLine(*reinterpret_cast<const std::string*>(wParam));
    } else if (message == WM_PROGRESS && wParam != 0) {
        logic_->SendProgress(*reinterpret_cast<const int*>(wParam),
                             *reinterpret_cast<const std::string*>(lParam));
    } else if (message == WM_PROGRESS) {
        // Posted: the latest progress waits in the download's hand-over.
        const std::shared_ptr<CMessageHandOver> handOver = handOver_.lock();
        if (handOver == nullptr)
            return true;
        if (const std::optional<ProgressReport> progress = handOver->TakeProgress())
            logic_->SendProgress(progress->value, progress->labelPrefix);
    } else if (message == WM_REPORT_CALL) {
        auto* delivery = reinterpret_cast<ReportDelivery*>(wParam);
        if (!delivery->handOver->IsAbandoned())
            delivery->answer = delivery->call->SendTo(logic_.get());
    } else {
        return false;
    }
    return true;
}

void CTamrixDlg::OnInitDialog() {
    SetUpSystemMenu();
    icon_ = static_cast<HICON>(::LoadImageA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                            ::GetSystemMetrics(SM_CXICON),
                                            ::GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(::LoadImageA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                 IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), 0));
    ::SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    ::SetWindowTextA(window_, kCaption);
    FillFromDialogInitData(instance_, window_, IDD_TAMRIX_DIALOG);
    SetUpStatusList();
    logic_->Start();
    ApplyStoredChoices();
    CheckSwitchEntries();
    CenterWindow(window_);
}

void CTamrixDlg::SetUpStatusList() {
    // The time column is widened when the window's font would not fit the time text into it.
    const HWND list = Item(IDC_STATUS_LIST);
    const int timeWidth = static_cast<int>(::SendMessageA(
        list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>("0000-00-00 (00:00:00)")));
    // The infotip shows a row's whole line when the Log column is too narrow for it.
    SetUpListColumns(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
                     {{"No", 30}, {"Time", std::max(130, timeWidth + 14)}, {"Log", 375}});
}

INT_PTR CTamrixDlg::OnNotify(NMHDR& header) {
    if (header.idFrom != IDC_STATUS_LIST || header.code != LVN_GETINFOTIPA)
        return FALSE;
    // The tip of a row is its Log text, whole.
    auto& tip = reinterpret_cast<NMLVGETINFOTIPA&>(header);
    if (tip.pszText == nullptr || tip.cchTextMax <= 0)
        return TRUE;
    LVITEMA item{};
    item.iSubItem = 2;
    item.pszText = tip.pszText;
    item.cchTextMax = tip.cchTextMax;
    ::SendMessageA(header.hwndFrom, LVM_GETITEMTEXTA, static_cast<WPARAM>(tip.iItem),
                   reinterpret_cast<LPARAM>(&item));
    return TRUE;
}

void CTamrixDlg::SetUpSystemMenu() {
    const HMENU menu = ::GetSystemMenu(window_, FALSE);
    char about[256] = {};
    if (menu == nullptr || ::LoadStringA(instance_, IDS_ABOUTBOX, about, sizeof about) <= 0)
        return;
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
    // The two switches, where a fixed dialog has room for them.
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, IDM_VERIFY, "&Verify after writing (PIC only)");
    ::AppendMenuA(menu, MF_STRING, IDM_RUN_REPORT, "Keep a &run report");
}

void CTamrixDlg::CheckSwitchEntries() {
    const HMENU menu = ::GetSystemMenu(window_, FALSE);
    ::CheckMenuItem(menu, IDM_VERIFY, MF_BYCOMMAND | (logic_->Verify() ? MF_CHECKED : 0));
    ::CheckMenuItem(menu, IDM_RUN_REPORT, MF_BYCOMMAND | (logic_->RunReport() ? MF_CHECKED : 0));
}

void CTamrixDlg::ApplyStoredChoices() {
    const DialogChoices& choices = logic_->Choices();
    PushFields();
    // A port index beyond the list leaves the combo without a selection; the stored number is
    // kept and used by Program.
    const int ports = static_cast<int>(::SendMessageA(Item(IDC_COM_PORT), CB_GETCOUNT, 0, 0));
    const int port = choices.portIndex >= 0 && choices.portIndex < ports ? choices.portIndex : -1;
    ::SendMessageA(Item(IDC_COM_PORT), CB_SETCURSEL, static_cast<WPARAM>(port), 0);
    ::SendMessageA(Item(IDC_BAUD_RATE), CB_SETCURSEL, static_cast<WPARAM>(choices.baudIndex), 0);
}

void CTamrixDlg::OnCommand(int id, int code) {
    if (id == IDC_COM_PORT && code == CBN_SELCHANGE)
        OnComPortChange();
    else if (id == IDC_BAUD_RATE && code == CBN_SELCHANGE)
        logic_->OnBaudRateChange(
            static_cast<int>(::SendMessageA(Item(IDC_BAUD_RATE), CB_GETCURSEL, 0, 0)));
    else if (code != BN_CLICKED)
        return;
    else if (id == IDC_BROWSE)
        OnBrowse();
    else if (id == IDC_SEARCH)
        OnSearch();
    else if (id == IDC_PROGRAM)
        OnProgram();
    else if (id == IDOK || id == IDCANCEL)
        OnClose(id);
}

void CTamrixDlg::OnSysCommand(UINT command) {
    if (command == IDM_ABOUTBOX) {
        CAboutDlg::DoModal(instance_, window_);
    } else if (command == IDM_VERIFY) {
        logic_->SetVerify(!logic_->Verify());
        CheckSwitchEntries();
    } else if (command == IDM_RUN_REPORT) {
        logic_->SetRunReport(!logic_->RunReport());
        CheckSwitchEntries();
    }
}

int CTamrixDlg::PortNumberOfItem(int index) const {
    const LRESULT number = ::SendMessageA(Item(IDC_COM_PORT), CB_GETITEMDATA, index, 0);
    return number > 0 ? static_cast<int>(number) : index + 1;
}

void CTamrixDlg::OnComPortChange() {
    // No selection reads as -1, as the list control reports it.
    const int index = static_cast<int>(::SendMessageA(Item(IDC_COM_PORT), CB_GETCURSEL, 0, 0));
    logic_->OnComPortChange(index >= 0 ? PortNumberOfItem(index) - 1 : -1);
}

void CTamrixDlg::SelectPortNumber(int portNumber) {
    const HWND combo = Item(IDC_COM_PORT);
    const int count = static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        if (PortNumberOfItem(index) == portNumber) {
            ::SendMessageA(combo, CB_SETCURSEL, index, 0);
            return;
        }
    }
    // A port above the listed ones (a USB adapter numbered COM16 or higher) joins the list, so
    // the choice is kept instead of being lost.
    const std::string name = "COM" + std::to_string(portNumber);
    const LRESULT added =
        ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    ::SendMessageA(combo, CB_SETITEMDATA, added, portNumber);
    ::SendMessageA(combo, CB_SETCURSEL, added, 0);
}

void CTamrixDlg::OnBrowse() {
    char path[MAX_PATH] = {};
    const std::string typed = WindowText(Item(IDC_FILE_PATH));
    typed.copy(path, sizeof path - 1);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = "Upgrade Binary File(*.bin)\0*.bin\0ALL Filess(*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (::GetOpenFileNameA(&dialog))
        logic_->Choices().filePath = path;
    // A cancelled dialog puts the stored path back over whatever was typed.
    ::SetDlgItemTextA(window_, IDC_FILE_PATH, logic_->Choices().filePath.c_str());
}

void CTamrixDlg::OnSearch() {
    const int portNumber = CDeviceListDlg::ChoosePort(instance_, window_);
    if (portNumber <= 0)
        return;
    SelectPortNumber(portNumber);
    ::SetFocus(Item(IDC_COM_PORT));
    OnComPortChange();
    PushFields();
}

void CTamrixDlg::PullFields() {
    logic_->Choices().filePath = WindowText(Item(IDC_FILE_PATH));
    logic_->Choices().interfaceType =
        ::IsDlgButtonChecked(window_, IDC_WIRING_SIGNAL) == BST_CHECKED ? 1 : 0;
}

void CTamrixDlg::OnProgram() {
    PullFields();
    logic_->OnProgram();
}

void CTamrixDlg::OnTimer() {
    // A download that ends while the close question is open leaves nothing to warn of.
    if (logic_->OnTimer() && askingToClose_) {
        if (const HWND box = OwnedMessageBox(window_))
            ::PostMessageA(box, WM_COMMAND, IDYES, 0);
    }
}

void CTamrixDlg::OnClose(int result) {
    if (askingToClose_ || !logic_->OnClose())
        return;
    closed_ = true;
    ::KillTimer(window_, kTimerId);
    ::EndDialog(window_, result);
}

bool CTamrixDlg::ConfirmCloseDuringDownload() {
    askingToClose_ = true;
    // The question is the window's own: it carries the window's caption.
    const int answer = ::MessageBoxA(window_, kCloseDuringDownloadQuestion, kCaption,
                                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    askingToClose_ = false;
    return answer == IDYES;
}

void CTamrixDlg::OnPaintIconic() {
    PAINTSTRUCT paint;
    const HDC context = ::BeginPaint(window_, &paint);
    ::SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client;
    ::GetClientRect(window_, &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(context, x, y, icon_);
    ::EndPaint(window_, &paint);
}

void CTamrixDlg::AppendStatusRow(int number, const std::string& time, const std::string& text) {
    const HWND list = Item(IDC_STATUS_LIST);
    // The text is kept as it came, line end included; a one-line cell shows it without the line
    // end, which the list would draw as two boxes.
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r'))
        shown.pop_back();
    const int row = AppendListRow(list, {std::to_string(number), time, shown});
    ::SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
    // The new row is selected and focused; rows selected before stay selected.
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

void CTamrixDlg::ShowProgress(int value, const std::string& label) {
    ::SendMessageA(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(value), 0);
    ShowLabel(label);
}

void CTamrixDlg::ShowLabel(const std::string& label) {
    // A static control paints at once when its text is set, while the worker waits for the
    // report; the label is set just after, once the worker goes on with the next row.
    label_ = label;
    if (!labelPosted_)
        labelPosted_ = ::PostMessageA(window_, WM_SHOW_PROGRESS_LABEL, 0, 0) != FALSE;
    if (!labelPosted_)
        SetTextIfChanged(Item(IDC_PROGRESS_TEXT), label_);
}

MessageAnswer CTamrixDlg::ShowBox(const std::string& text, const std::string& caption,
                                  MessageIcon icon, MessageButtons buttons) {
    const std::string title = caption.empty() ? ProgramName() : caption;
    const int answer = ::MessageBoxA(window_, text.c_str(), title.c_str(), BoxStyle(icon, buttons));
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
}

void CTamrixDlg::EnableDownloadControls(bool enable) {
    for (const int id : kDownloadControls)
        ::EnableWindow(Item(id), enable ? TRUE : FALSE);
    const HMENU menu = ::GetSystemMenu(window_, FALSE);
    for (const UINT entry : {IDM_VERIFY, IDM_RUN_REPORT})
        ::EnableMenuItem(menu, entry, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void CTamrixDlg::PushFields() {
    const DialogChoices& choices = logic_->Choices();
    // Every progress report pushes the fields; a control already showing its field is left alone,
    // so the worker, which waits for the report, does not wait for a repaint that changes nothing.
    SetTextIfChanged(Item(IDC_FILE_PATH), choices.filePath);
    // A stored wiring other than the two leaves both radios unchecked, as the stored value says.
    ::CheckDlgButton(window_, IDC_WIRING_USB, choices.interfaceType == 0 ? BST_CHECKED : 0);
    ::CheckDlgButton(window_, IDC_WIRING_SIGNAL, choices.interfaceType == 1 ? BST_CHECKED : 0);
    ShowLabel(logic_->ProgressText());
}

void CTamrixDlg::SetTimerRunning(bool running) {
    if (running)
        ::SetTimer(window_, kTimerId, kTimerPeriodMs, nullptr);
    else
        ::KillTimer(window_, kTimerId);
}

std::shared_ptr<CWindowHandOver> CTamrixDlg::MakeHandOver() {
    auto handOver = std::make_shared<CMessageHandOver>(window_);
    handOver_ = handOver;
    return handOver;
}

}  // namespace tamrix
