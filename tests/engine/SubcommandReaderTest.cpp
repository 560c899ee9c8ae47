// The reading of a subcommand line's code, count and name.

#include "engine/SubcommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

namespace pg::test {
namespace {

using namespace std::string_literals;

TEST(SubcommandLineTest, CodeCountAndNameWords) {
    const std::string n254(254, 'n');
    const std::string c255(255, '1');
    // Line, then code, count word, count and name, and whether the file lasts until the close
    // (only a positive overflow says so).
    const std::tuple<std::string, char, std::string, int32_t, std::string, bool> rows[] = {
        {"\0031234 dfA001host\n", 3, "1234", 1234, "dfA001host", false},
        {"\002 cfA001host\n", 2, "", 0, "cfA001host", false},  // empty count word
        {"\00212  cfA001host\n", 2, "12", 12, "", false},      // one separator only: empty name
        {"\00212 cfA", 2, "12", 12, "cfA", false},             // the end of the data ends the word
        {"\0035 df\0x\n"s, 3, "5", 5, "df\0x"s, false},
        // Words hold at most 255 characters; a cut word loses the character after the cut.
        {"\0031 " + n254 + "\n", 3, "1", 1, n254, false},
        {"\0031 " + n254 + "nn\n", 3, "1", 1, n254 + "n", false},
        {"\003" + c255 + "2dfA\n", 3, c255, INT32_MAX, "dfA", true},
        {"\003-999999999999 d\n", 3, "-999999999999", INT32_MIN, "d", false},
        {"\0032147483647 d\n", 3, "2147483647", INT32_MAX, "d", false},
    };
    for (const auto& [text, code, countText, count, name, untilClose] : rows) {
        SCOPED_TRACE(testing::PrintToString(text));
        const SubcommandLine line = SubcommandLine::Parse(text);
        EXPECT_EQ(line.code, code);
        EXPECT_EQ(line.countText, countText);
        EXPECT_EQ(line.count, count);
        EXPECT_EQ(line.name, name);
        EXPECT_EQ(line.UntilClose(), untilClose);
    }
}

}  // namespace
}  // namespace pg::test
