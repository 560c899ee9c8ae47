// Client text shown with its controls escaped.

#include "log/EscapeControls.h"

#include <gtest/gtest.h>

#include <string>

namespace pg::test {
namespace {

TEST(EscapeControls, ControlsOfEveryFormAreEscapedAndOtherTextKept) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> rows[] = {
        {"report.txt", "report.txt"},
        {"a\0b\tc\r\n\x1B[2J\x7F"s, "a\\x00b\\x09c\\x0D\\x0A\\x1B[2J\\x7F"},
        // UTF-8 is kept, with continuation bytes in 0x80-0x9F ("\xE2\x82\xAC" is the euro).
        {"Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x96\xA8",
         "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x96\xA8"},
        // A C1 control in UTF-8, and in a single-byte set beside a single-byte letter.
        {"x\xC2\x9By", "x\\xC2\\x9By"},
        {"caf\xE9 \x9B"
         "1m",
         "caf\xE9 \\x9B"
         "1m"},
        // Broken or overlong UTF-8 hides nothing: its bytes are judged one by one.
        {"\xC0\x8A \xE2\x82 \xED\xA0\x80 \xC2", "\xC0\\x8A \xE2\\x82 \xED\xA0\\x80 \xC2"},
    };
    for (const auto& [text, shown] : rows) {
        EXPECT_EQ(EscapeControls(text), shown);
    }
}

}  // namespace
}  // namespace pg::test
