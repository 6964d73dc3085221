#include "app/win32/RegistryProfile.h"

#include <windows.h>
// windows.h names its old profile file calls like the settings store's own: the store's are meant.
#undef GetProfileInt
#undef GetProfileString
#undef WriteProfileString

#include <vector>

namespace tamrix {

namespace {

// An open registry key, closed when it goes.
class CRegKey {
  public:
    CRegKey() = default;
    ~CRegKey() {
        if (key_ != nullptr)
            ::RegCloseKey(key_);
    }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    [[nodiscard]] bool Open(const std::string& path) {
        return ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key_) ==
               ERROR_SUCCESS;
    }
    [[nodiscard]] bool Create(const std::string& path) {
        return ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                 &key_, nullptr) == ERROR_SUCCESS;
    }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace

CRegistryProfile::CRegistryProfile(std::string application)
    : application_(std::move(application)) {}

std::string CRegistryProfile::KeyPath(const std::string& section) const {
    return std::string("Software\\") + kRegistryCompany + "\\" + application_ + "\\" + section;
}

int CRegistryProfile::GetProfileInt(const std::string& section, const std::string& entry,
                                    int defaultValue) {
    CRegKey key;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!key.Open(KeyPath(section)) ||
        ::RegQueryValueExA(key.Get(), entry.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return defaultValue;
    }
    return static_cast<int>(value);
}

void CRegistryProfile::WriteProfileInt(const std::string& section, const std::string& entry,
                                       int value) {
    CRegKey key;
    const DWORD stored = static_cast<DWORD>(value);
    if (key.Create(KeyPath(section)))
        ::RegSetValueExA(key.Get(), entry.c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&stored), sizeof stored);
}

std::string CRegistryProfile::GetProfileString(const std::string& section, const std::string& entry,
                                               const std::string& defaultValue) {
    CRegKey key;
    DWORD type = 0;
    DWORD size = 0;
    if (!key.Open(KeyPath(section)) ||
        ::RegQueryValueExA(key.Get(), entry.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return defaultValue;
    }
    std::vector<char> text(size + 1, '\0');
    if (::RegQueryValueExA(key.Get(), entry.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return defaultValue;
    return std::string(text.data());
}

void CRegistryProfile::WriteProfileString(const std::string& section, const std::string& entry,
                                          const std::string& value) {
    CRegKey key;
    if (key.Create(KeyPath(section)))
        ::RegSetValueExA(key.Get(), entry.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
}

std::string ProgramName() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

}  // namespace tamrix
