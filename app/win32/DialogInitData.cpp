#include "app/win32/DialogInitData.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "app/win32/resource.h"

namespace tamrix {

bool FillFromDialogInitData(HINSTANCE instance, HWND dialog, int templateId) {
    const HRSRC found =
        ::FindResourceA(instance, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(RT_DIALOG_INIT));
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(instance, found) : nullptr;
    const auto* data = static_cast<const uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    if (data == nullptr)
        return false;
    const std::size_t size = ::SizeofResource(instance, found);
    // Each item: the control's id and the message (16 bits each), the text's length (32 bits),
    // then the text; the list ends with a zero id.
    std::size_t at = 0;
    while (at + 2 <= size) {
        uint16_t control = 0;
        std::memcpy(&control, data + at, 2);
        if (control == 0)
            return true;
        uint16_t message = 0;
        uint32_t length = 0;
        if (at + 8 > size)
            return false;
        std::memcpy(&message, data + at + 2, 2);
        std::memcpy(&length, data + at + 4, 4);
        at += 8;
        if (length > size - at)
            return false;
        const std::string text(reinterpret_cast<const char*>(data + at),
                               strnlen(reinterpret_cast<const char*>(data + at), length));
        if (message == DLGINIT_ADDSTRING)
            ::SendDlgItemMessageA(dialog, control, CB_ADDSTRING, 0,
                                  reinterpret_cast<LPARAM>(text.c_str()));
        at += length;
    }
    return false;
}

}  // namespace tamrix
