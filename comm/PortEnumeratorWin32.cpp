// The serial ports of a Windows machine through the device installation interface (SetupAPI) and
// the configuration manager, and notice of their arrival and removal. Which class and which
// members count is decided in DeviceClassPorts.cpp; this source only asks the system.

#include <windows.h>
// After windows.h:
#include <cfgmgr32.h>
#include <dbt.h>
#include <initguid.h>
#include <setupapi.h>
#include <winioctl.h>

#include <atomic>
#include <thread>
#include <vector>

#include "comm/DeviceClassPorts.h"
#include "comm/PortMonitor.h"

namespace tamrix {

namespace {

constexpr DWORD kNameBytes = 1000;

struct DeviceList {
    HDEVINFO list = INVALID_HANDLE_VALUE;
    explicit DeviceList(const GUID& guid)
        : list(::SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT)) {}
    ~DeviceList() {
        if (list != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(list);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    bool Valid() const { return list != INVALID_HANDLE_VALUE; }
};

class CSetupApi : public CDeviceClassApi {
  public:
    ClassInfo EnumerateDeviceClass(int classIndex) override {
        ClassInfo info;
        GUID guid{};
        const CONFIGRET result = ::CM_Enumerate_Classes(static_cast<ULONG>(classIndex), &guid, 0);
        if (result != CR_SUCCESS) {
            info.result = result == CR_INVALID_DATA ? -2 : result == CR_NO_SUCH_VALUE ? -1 : -3;
            return info;
        }
        std::vector<char> name(kNameBytes, '\0');
        DWORD required = 0;
        if (!::SetupDiClassNameFromGuidA(&guid, name.data(), static_cast<DWORD>(name.size()),
                                         &required) &&
            required > name.size()) {
            name.assign(required, '\0');
            ::SetupDiClassNameFromGuidA(&guid, name.data(), static_cast<DWORD>(name.size()),
                                        &required);
        }
        info.name = std::string(name.data());
        const DeviceList devices(guid);
        if (devices.Valid()) {
            const HKEY key = ::SetupDiOpenClassRegKeyExA(&guid, MAXIMUM_ALLOWED, DIOCR_INSTALLER,
                                                         nullptr, nullptr);
            if (key != INVALID_HANDLE_VALUE) {
                ::RegCloseKey(key);
                info.present = true;
            }
        }
        info.result = 0;
        return info;
    }

    Member GetDeviceFriendlyName(const std::string& className, int memberIndex) override {
        Member member;
        DWORD count = 0;
        ::SetupDiClassGuidsFromNameA(className.c_str(), nullptr, 0, &count);
        std::vector<GUID> guids(count);
        if (count == 0 ||
            !::SetupDiClassGuidsFromNameA(className.c_str(), guids.data(), count, &count) ||
            count == 0) {
            member.result = -2;
            return member;
        }
        const DeviceList devices(guids[0]);
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        if (!devices.Valid() ||
            !::SetupDiEnumDeviceInfo(devices.list, static_cast<DWORD>(memberIndex), &data)) {
            member.result = -1;
            return member;
        }
        char name[kNameBytes] = {};
        for (const DWORD property : {SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC}) {
            if (::SetupDiGetDeviceRegistryPropertyA(devices.list, &data, property, nullptr,
                                                    reinterpret_cast<BYTE*>(name), sizeof name - 1,
                                                    nullptr)) {
                member.result = 0;
                member.name = std::string(name);
                return member;
            }
        }
        member.result = -4;
        return member;
    }
};

// Serial ports arriving and leaving: a message-only window on a thread of its own registers for
// the serial port interface's arrivals and removals and sets an event for each; the caller
// watches the event (a QWinEventNotifier in a Qt program).
class CWin32PortMonitor : public CPortMonitor {
  public:
    CWin32PortMonitor() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~CWin32PortMonitor() override {
        const HWND window = window_.load();
        if (window != nullptr)
            ::PostMessageA(window, WM_CLOSE, 0, 0);
        if (thread_.joinable())
            thread_.join();
        if (event_ != nullptr)
            ::CloseHandle(event_);
    }

    bool Start() {
        if (event_ == nullptr)
            return false;
        HANDLE started = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (started == nullptr)
            return false;
        thread_ = std::thread(&CWin32PortMonitor::Run, this, started);
        ::WaitForSingleObject(started, INFINITE);
        ::CloseHandle(started);
        return window_.load() != nullptr;
    }

    // The event handle; kernel handles fit in 32 bits.
    int Handle() const override { return static_cast<int>(reinterpret_cast<intptr_t>(event_)); }

    bool TakeEvents() override {
        ::ResetEvent(event_);
        return changed_.exchange(false);
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self =
            reinterpret_cast<CWin32PortMonitor*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && self != nullptr &&
            (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            self->changed_ = true;
            ::SetEvent(self->event_);
            return TRUE;
        }
        if (message == WM_CLOSE) {
            ::DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    }

    void Run(HANDLE started) {
        const char* kClass = "TamrixPortMonitor";
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClass;
        ::RegisterClassA(&windowClass);  // fails harmlessly when registered already
        const HWND window = ::CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                              windowClass.hInstance, nullptr);
        HDEVNOTIFY notify = nullptr;
        if (window != nullptr) {
            ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_A filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = GUID_DEVINTERFACE_COMPORT;
            notify = ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            if (notify == nullptr) {
                ::DestroyWindow(window);
            } else {
                window_ = window;
            }
        }
        ::SetEvent(started);
        if (window_.load() == nullptr)
            return;
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        ::UnregisterDeviceNotification(notify);
        window_ = nullptr;
    }

    HANDLE event_;
    std::atomic<bool> changed_{false};
    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<CPortEnumerator> CreatePortEnumerator(const std::string&) {
    // The system numbers its COM ports itself: no port map to keep them in.
    return CreateDeviceClassPortEnumerator(std::make_unique<CSetupApi>());
}

std::unique_ptr<CPortMonitor> CreatePortMonitor() {
    auto monitor = std::make_unique<CWin32PortMonitor>();
    if (!monitor->Start())
        return nullptr;
    return monitor;
}

}  // namespace tamrix
