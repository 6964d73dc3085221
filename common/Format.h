#pragma once
// printf-style formatting into a std::string: the status and log texts of the program are
// printf formats, kept character for character.

#include <string>

namespace tamrix {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `text` fit for a terminal or a window: every control character (C0, DEL, and C1 whether
// spelt in UTF-8 or as a bare byte) becomes \xNN, so a name read from a file or a device can
// neither move the cursor, retitle or clear a terminal, nor break a line. Everything else,
// printable UTF-8 and the bytes of a legacy code page alike, is kept as it is; applied twice it
// changes nothing more.
std::string EscapeControls(const std::string& text);

}  // namespace tamrix
