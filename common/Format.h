#pragma once
// printf-style formatting into a std::string: the status and log texts of the program are
// printf formats, kept character for character.

#include <string>

namespace tamrix {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

}  // namespace tamrix
