// Names from a phone shown on a terminal or in a window: control characters and bytes
// that are not UTF-8 become visible escapes, everything else stays as it is.
#include <gtest/gtest.h>

#include <string>

#include "base/visible_text.h"

namespace mdk {
namespace {

TEST(VisibleText, EscapesControlsAndBytesThatAreNotUtf8) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"plain name.jpg", "plain name.jpg"},
        {"back\\slash", "back\\slash"},
        {"\x1B]0;owned\x07", "\\x1B]0;owned\\x07"},  // retitles a terminal
        {"\x1B[2Jclear", "\\x1B[2Jclear"},           // clears it
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"tab\tnew\nline\r", "tab\\x09new\\x0Aline\\x0D"},
        {"del\x7F", "del\\x7F"},
        {"c1 \x9B"
         "2J",
         "c1 \\x9B2J"},  // a lone C1 byte (CSI)
        {"c1 \xC2\x9B"
         "2J",
         "c1 \\xC2\\x9B2J"},  // CSI written as UTF-8
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB1", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB1"},
        {"latin1 caf\xE9", "latin1 caf\\xE9"},
        {"\xC3", "\\xC3"},                             // cut short
        {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong "/"
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // beyond U+10FFFF
        {"\xFF\xFE", "\\xFF\\xFE"},
        {"\xC2\xA0nbsp", "\xC2\xA0nbsp"},  // U+00A0 is no control
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        EXPECT_EQ(visibleText(c.in), c.out);
    }
}

TEST(VisibleText, LinesKeepTheirBreaks) {
    EXPECT_EQ(visibleLines("would upload /a/\x1B[2J\nFiles: 1\n"),
              "would upload /a/\\x1B[2J\nFiles: 1\n");
    EXPECT_EQ(visibleLines("no break \x07"), "no break \\x07");
}

}  // namespace
}  // namespace mdk
