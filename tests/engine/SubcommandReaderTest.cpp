// The framing of the receive-job byte stream into subcommand lines and file content, and the
// reading of a subcommand line's count and name.

#include "engine/SubcommandReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/SubcommandLine.h"

namespace pg::test {
namespace {

using namespace std::string_literals;

const std::string kError = "\x7f<error>";

// Answers each read with the next piece (cut to the size asked for, the rest kept for the next
// read); kError reads as an error, an exhausted script as closed.
SubcommandReader::Source Script(std::vector<std::string> script) {
    auto pieces = std::make_shared<std::deque<std::string>>(script.begin(), script.end());
    return [pieces](char* buffer, size_t n) -> ssize_t {
        if (pieces->empty()) {
            return 0;
        }
        std::string& piece = pieces->front();
        if (piece == kError) {
            pieces->pop_front();
            return -1;
        }
        const size_t take = std::min(n, piece.size());
        piece.copy(buffer, take);
        piece.erase(0, take);
        if (piece.empty()) {
            pieces->pop_front();
        }
        return static_cast<ssize_t>(take);
    };
}

TEST(SubcommandReaderTest, LinesEndAtTheLineFeedOrAt4096Bytes) {
    const std::string cut = "\004" + std::string(4095, 'x');  // 4096 bytes, no line feed
    // Script, the lines then "closed" or "error".
    using Strings = std::vector<std::string>;
    const std::pair<Strings, Strings> rows[] = {
        {{"\0031", "2 dfA0", "01host", "\n"}, {"\00312 dfA001host\n", "closed"}},
        {{cut + "\0035 dfA\n"}, {cut, "\0035 dfA\n", "closed"}},
        // 4097 bytes with the line feed, whatever the reads: the line feed is a line of its own.
        {{"\001\n" + cut + "\n"}, {"\001\n", cut, "\n", "closed"}},
        {{"\002 12", kError}, {"error"}},
    };
    for (const auto& [script, expected] : rows) {
        SCOPED_TRACE(testing::PrintToString(script));
        SubcommandReader reader(Script(script));
        std::vector<std::string> lines;
        for (;;) {
            std::string line = "stale";
            const SubcommandReader::Status status = reader.ReadLine(line);
            if (status != SubcommandReader::Status::Line) {
                EXPECT_TRUE(line.empty());
                lines.push_back(status == SubcommandReader::Status::Closed ? "closed" : "error");
                break;
            }
            lines.push_back(line);
        }
        EXPECT_EQ(lines, expected);
    }
}

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
