#include "common/Format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tamrix {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return text;
}

namespace {

// The length of the well-formed UTF-8 sequence at `at`, 0 when none starts there.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80;   // the second byte's range, narrowed for overlong forms,
    unsigned char high = 0xBF;  // surrogates and values beyond U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    }
    return length;
}

}  // namespace

std::string EscapeControls(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&shown](unsigned char byte) { shown += Format("\\x%02X", byte); };
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x20 || byte == 0x7F) {
            escape(byte);
            ++at;
            continue;
        }
        if (byte < 0x80) {
            shown += text[at++];
            continue;
        }
        const size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            // Not UTF-8: a bare C1 byte (0x9B is a terminal's CSI) is escaped, the bytes of a
            // legacy code page are not.
            if (byte <= 0x9F)
                escape(byte);
            else
                shown += text[at];
            ++at;
        } else if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F) {
            escape(byte);  // U+0080..U+009F, the C1 controls
            escape(static_cast<unsigned char>(text[at + 1]));
            at += 2;
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return shown;
}

}  // namespace tamrix
