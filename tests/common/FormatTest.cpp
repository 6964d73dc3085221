// Text read from files and devices, made fit for a terminal or a window.

#include <gtest/gtest.h>

#include <string>

#include "common/Format.h"

namespace tamrix {
namespace {

TEST(FormatTest, EscapeControlsEscapesControlCharactersAndKeepsPrintableText) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"C:\\firmware\\x.bin", "C:\\firmware\\x.bin"},  // a backslash is no control
        {"\x1b]0;owned\x07\x1b[2J", "\\x1B]0;owned\\x07\\x1B[2J"},
        {"a\tb\r\nc\x7f"s + '\0', "a\\x09b\\x0D\\x0Ac\\x7F\\x00"},
        {"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac", "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac"},
        {"\xc2\x9b[2J \xc2\xa0", "\\xC2\\x9B[2J \xc2\xa0"},  // C1 CSI in UTF-8; no-break space
        {"\x9b[2J", "\\x9B[2J"},                             // the bare C1 byte
        {"caf\xe9 \xff\xfe \xc3", "caf\xe9 \xff\xfe \xc3"},  // a legacy code page, cut UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeControls(c.text), c.shown) << c.text;
        EXPECT_EQ(EscapeControls(c.shown), c.shown) << "escaping twice: " << c.shown;
    }
}

}  // namespace
}  // namespace tamrix
