// Drives tamrix.exe as a technician would, from another process, finding every control by its id
// in the window found by its caption: sets the firmware file, the COM port, the baud rate and the
// wiring, presses Program, and waits for "Successfully Done !!" in the status list (read through
// a buffer in tamrix.exe's own memory, as a list view answers only there). Then it closes the
// window. With --pause, it stops at each stage (idle, downloading, done, About box, COM Port
// Manager) and names the stage in the stage file, for screenshots.
//
//   tamrix_dialog_driver <tamrix.exe> <firmware> <COMn> <baud> <0|1 wiring> <stage file> [--pause]
//
// Exit status 0 when the download succeeded and the window closed; the status rows are printed.

#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kCaption = "ZKT Orvane Firmware Update Utility.  Ver-1.0";

struct Options {
    std::string program, firmware, port, baud, stageFile;
    int wiring = 0;
    bool pause = false;
};

bool WaitFor(const std::function<bool()>& done, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void Stage(const Options& options, const char* name) {
    std::printf("stage: %s\n", name);
    std::fflush(stdout);
    if (!options.pause)
        return;
    if (FILE* file = std::fopen(options.stageFile.c_str(), "w")) {
        std::fputs(name, file);
        std::fclose(file);
    }
    // The screenshot is taken meanwhile.
    std::this_thread::sleep_for(std::chrono::seconds(3));
}

std::string Text(HWND window) {
    char text[512] = {};
    ::SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// The texts of column 2 of the status list, read through memory inside tamrix.exe.
std::vector<std::string> StatusRows(HANDLE process, HWND list) {
    std::vector<std::string> rows;
    constexpr SIZE_T kText = 1024;
    char* remote = static_cast<char*>(
        ::VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kText, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr)
        return rows;
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        LVITEMA item{};
        item.iSubItem = 2;
        item.pszText = remote + sizeof(LVITEMA);
        item.cchTextMax = kText;
        char text[kText] = {};
        ::WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote));
        ::ReadProcessMemory(process, remote + sizeof(LVITEMA), text, kText - 1, nullptr);
        rows.emplace_back(text);
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return rows;
}

bool HasRow(const std::vector<std::string>& rows, const std::string& text) {
    for (const std::string& row : rows)
        if (row.find(text) != std::string::npos)
            return true;
    return false;
}

// A message box tamrix.exe raised over its window: its text, "" when there is none.
std::string OpenBox(HWND dialog) {
    std::string found;
    HWND box = nullptr;
    while ((box = ::FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
        if (box != dialog && ::GetWindow(box, GW_OWNER) == dialog && ::IsWindowVisible(box))
            found = Text(::GetDlgItem(box, 0xFFFF));
    }
    return found;
}

void Choose(HWND dialog, int id, const std::string& text) {
    const HWND combo = ::GetDlgItem(dialog, id);
    const LRESULT index = ::SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
}

int Fail(const char* what, const std::vector<std::string>& rows = {}) {
    for (const std::string& row : rows)
        std::printf("  %s\n", row.c_str());
    std::printf("FAILED: %s\n", what);
    return 1;
}

// Opens a box from the window, shows it at its stage, and closes it.
bool VisitBox(const Options& options, HWND dialog, const char* caption, const char* stage,
              const std::function<void()>& open) {
    open();
    HWND box = nullptr;
    const auto opened = [&] {
        box = ::FindWindowA("#32770", caption);
        return box != nullptr && ::GetWindow(box, GW_OWNER) == dialog;
    };
    if (!WaitFor(opened, 20))
        return false;
    Stage(options, stage);
    ::PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    return WaitFor([&] { return !::IsWindow(box); }, 20);
}

int Drive(const Options& options, HANDLE process) {
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = ::FindWindowA("#32770", kCaption)) != nullptr; }, 60))
        return Fail("no window with the caption");
    ::SendMessageA(::GetDlgItem(dialog, 1004), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(options.firmware.c_str()));
    Choose(dialog, 1005, options.port);
    Choose(dialog, 1006, options.baud);
    ::SendMessageA(::GetDlgItem(dialog, options.wiring == 1 ? 1011 : 1010), BM_CLICK, 0, 0);
    Stage(options, "idle");
    ::PostMessageA(::GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
    const auto clicked = std::chrono::steady_clock::now();

    const HWND list = ::GetDlgItem(dialog, 1013);
    const HWND program = ::GetDlgItem(dialog, 1000);
    bool seenProgramming = false;
    const bool ended = WaitFor(
        [&] {
            if (!seenProgramming &&
                Text(::GetDlgItem(dialog, 1008)).rfind("Flash Programing...", 0) == 0) {
                seenProgramming = true;
                Stage(options, "downloading");
            }
            return !OpenBox(dialog).empty() ||
                   (::IsWindowEnabled(program) && HasRow(StatusRows(process, list), "Done"));
        },
        300);
    const std::vector<std::string> rows = StatusRows(process, list);
    if (!OpenBox(dialog).empty())
        return Fail(("a message box: " + OpenBox(dialog)).c_str(), rows);
    if (!ended || !HasRow(rows, "Successfully Done !!"))
        return Fail("no \"Successfully Done !!\" in the status list", rows);
    Stage(options, "done");
    // From the click on Program to the window seen idle with the last line (within one poll).
    std::printf("download: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - clicked)
                                           .count()));
    // The last progress report reaches the bar and the label, though the worker does not wait
    // for it.
    const std::string label = Text(::GetDlgItem(dialog, 1008));
    const LRESULT bar = ::SendMessageA(::GetDlgItem(dialog, 1002), PBM_GETPOS, 0, 0);
    if (label != "Programing Successfully...100%" || bar != 100)
        return Fail(
            ("the progress shows " + std::to_string(bar) + " and \"" + label + "\"").c_str(), rows);
    if (options.pause && (!VisitBox(options, dialog, "ZKT Orvane", "about", [&] {
            ::PostMessageA(dialog, WM_SYSCOMMAND, 0x0010, 0);
        }) || !VisitBox(options, dialog, "COM Port Manager", "ports", [&] {
            ::PostMessageA(::GetDlgItem(dialog, 1007), BM_CLICK, 0, 0);
        })))
        return Fail("the About box or the COM Port Manager did not open and close");
    ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    if (::WaitForSingleObject(process, 30000) != WAIT_OBJECT_0)
        return Fail("the window did not close on Exit", rows);
    for (const std::string& row : rows)
        std::printf("  %s\n", row.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: %s tamrix.exe firmware COMn baud wiring stage-file [--pause]\n",
                     argv[0]);
        return 2;
    }
    Options options{argv[1],
                    argv[2],
                    argv[3],
                    argv[4],
                    argv[6],
                    std::atoi(argv[5]),
                    argc > 7 && std::string(argv[7]) == "--pause"};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::string command = "\"" + options.program + "\"";
    if (!::CreateProcessA(options.program.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &started))
        return Fail("tamrix.exe cannot be started");
    const int status = Drive(options, started.hProcess);
    if (status != 0)
        ::TerminateProcess(started.hProcess, 1);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return status;
}
