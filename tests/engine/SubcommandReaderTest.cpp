// The framing of the receive-job byte stream into subcommand lines and file content, and the
// reading of a subcommand line's count and name.

#include "engine/SubcommandReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "engine/SubcommandLine.h"

namespace pg::test {
namespace {

// A source that answers each read with the next scripted piece (cut to the size asked for, the
// rest kept for the next read); "" stands for a read of zero bytes, and an exhausted script
// reads as closed. Counts the reads it served.
class ScriptedSource {
  public:
    explicit ScriptedSource(std::vector<std::string> pieces)
        : pieces_(pieces.begin(), pieces.end()) {}

    SubcommandReader::Source Function() {
        return [this](char* buffer, size_t n) -> ssize_t {
            ++reads_;
            if (pieces_.empty()) {
                return 0;
            }
            std::string& piece = pieces_.front();
            if (piece == kError) {
                pieces_.pop_front();
                return -1;
            }
            const size_t take = std::min(n, piece.size());
            piece.copy(buffer, take);
            piece.erase(0, take);
            if (piece.empty()) {
                pieces_.pop_front();
            }
            return static_cast<ssize_t>(take);
        };
    }
    int Reads() const { return reads_; }

    static inline const std::string kError = "\x7f<error>";

  private:
    std::deque<std::string> pieces_;
    int reads_ = 0;
};

std::string Read(SubcommandReader& reader, size_t n = 65536) {
    std::string buffer(n, '\0');
    const ssize_t got = reader.ReadSome(buffer.data(), buffer.size());
    return got > 0 ? buffer.substr(0, static_cast<size_t>(got)) : std::string();
}

std::string Line(SubcommandReader& reader) {
    std::string line;
    EXPECT_EQ(reader.ReadLine(line), SubcommandReader::Status::Line);
    return line;
}

TEST(SubcommandReaderTest, LineSplitOverReadsIsAssembled) {
    ScriptedSource source({"\0031", "2 dfA0", "01host", "\n"});
    SubcommandReader reader(source.Function());
    EXPECT_EQ(Line(reader), "\00312 dfA001host\n");
    EXPECT_EQ(source.Reads(), 4);
}

TEST(SubcommandReaderTest, BytesAfterALineAreKeptAsOneRead) {
    ScriptedSource source({std::string("\0035 dfA001host\nhello\0\0024 cf", 26), "A1\nxyz"});
    SubcommandReader reader(source.Function());
    EXPECT_EQ(Line(reader), "\0035 dfA001host\n");
    // What followed the line in the same read is one read of content.
    EXPECT_EQ(Read(reader), std::string("hello\0\0024 cf", 12));
    EXPECT_EQ(source.Reads(), 1);
    EXPECT_EQ(Read(reader), "A1\nxyz");
}

TEST(SubcommandReaderTest, ContentReadIsLimitedToTheCallersSizeAndPutBackComesFirst) {
    ScriptedSource source({"\002\n" + std::string(100, 'a')});
    SubcommandReader reader(source.Function());
    EXPECT_EQ(Line(reader), "\002\n");
    EXPECT_EQ(Read(reader, 30), std::string(30, 'a'));
    reader.PutBack("zz");
    EXPECT_EQ(Read(reader), "zz" + std::string(70, 'a'));
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(SubcommandReaderTest, EmptyBufferReadsTheSourceOnceAndPassesCloseAndError) {
    ScriptedSource source({"\001", "", ScriptedSource::kError});
    SubcommandReader reader(source.Function());
    char byte = 0;
    EXPECT_EQ(reader.ReadSome(&byte, 1), 1);  // a lone abort byte stays a read of its own
    EXPECT_EQ(byte, '\1');
    EXPECT_EQ(reader.ReadSome(&byte, 1), 0);
    EXPECT_EQ(reader.ReadSome(&byte, 1), -1);
}

// A line of more than 4096 bytes without a line feed: its first 4096 bytes are the line, the
// rest is what follows it.
TEST(SubcommandReaderTest, LongLineIsCutAt4096Bytes) {
    const std::string head = "\004" + std::string(4095, 'x');
    ScriptedSource source({head + "\0035 dfA001host\n", "tail"});
    SubcommandReader reader(source.Function());
    EXPECT_EQ(Line(reader), head);
    EXPECT_EQ(Line(reader), "\0035 dfA001host\n");

    const std::string fits = "\004" + std::string(4094, 'y') + "\n";  // 4096 with its line feed
    ScriptedSource exact({fits + "\001\n"});
    SubcommandReader exactReader(exact.Function());
    EXPECT_EQ(Line(exactReader), fits);
    EXPECT_EQ(Line(exactReader), "\001\n");

    const std::string over = "\004" + std::string(4095, 'z') + "\n";  // 4097 with its line feed
    ScriptedSource longer({over});
    SubcommandReader longerReader(longer.Function());
    EXPECT_EQ(Line(longerReader), over.substr(0, 4096));
    EXPECT_EQ(Line(longerReader), "\n");
}

TEST(SubcommandReaderTest, PartialLineBeforeCloseIsDeliveredThenTheClose) {
    ScriptedSource source({"\001"});
    SubcommandReader reader(source.Function());
    EXPECT_EQ(Line(reader), "\001");
    std::string line = "stale";
    EXPECT_EQ(reader.ReadLine(line), SubcommandReader::Status::Closed);
    EXPECT_TRUE(line.empty());

    ScriptedSource failing({"\002 12", ScriptedSource::kError});
    SubcommandReader failingReader(failing.Function());
    EXPECT_EQ(failingReader.ReadLine(line), SubcommandReader::Status::Error);
}

TEST(SubcommandReaderTest, ExpectedTerminatingZeroIsDroppedWhereverItArrives) {
    // In the same read as the next line.
    ScriptedSource together({std::string("\0\001\n", 3)});
    SubcommandReader a(together.Function());
    a.ExpectTerminatingZero();
    EXPECT_EQ(Line(a), "\001\n");

    // As a read of its own, before the next line.
    ScriptedSource alone({std::string(1, '\0'), "\0030 dfA\n"});
    SubcommandReader b(alone.Function());
    b.ExpectTerminatingZero();
    EXPECT_EQ(Line(b), "\0030 dfA\n");

    // Missing: the first byte is kept, and only the first byte is looked at.
    ScriptedSource missing({std::string("\001\n\0\n", 4)});
    SubcommandReader c(missing.Function());
    c.ExpectTerminatingZero();
    EXPECT_EQ(Line(c), "\001\n");
    EXPECT_EQ(Line(c), std::string("\0\n", 2));

    // Before content read straight from the source.
    ScriptedSource content({std::string(1, '\0'), std::string("\0ab", 3)});
    SubcommandReader d(content.Function());
    d.ExpectTerminatingZero();
    EXPECT_EQ(Read(d), std::string("\0ab", 3));
    ScriptedSource joined({std::string("\0ab", 3)});
    SubcommandReader e(joined.Function());
    e.ExpectTerminatingZero();
    EXPECT_EQ(Read(e), "ab");
}

TEST(SubcommandLineTest, CountAndNameTokens) {
    SubcommandLine line = SubcommandLine::Parse("\0031234 dfA001host\n");
    EXPECT_EQ(line.code, '\3');
    EXPECT_EQ(line.countText, "1234");
    EXPECT_EQ(line.count, 1234);
    EXPECT_EQ(line.name, "dfA001host");
    EXPECT_FALSE(line.UntilClose());

    line = SubcommandLine::Parse("\002 cfA001host\n");  // the count word is empty
    EXPECT_TRUE(line.countText.empty());
    EXPECT_EQ(line.name, "cfA001host");

    line = SubcommandLine::Parse("\00212  cfA001host\n");  // two blanks: the name is empty
    EXPECT_EQ(line.count, 12);
    EXPECT_TRUE(line.name.empty());

    line = SubcommandLine::Parse("\00212\tcfA\r\n");
    EXPECT_EQ(line.name, "cfA");

    line = SubcommandLine::Parse("\00212 cfA");  // no line feed: the data end the word
    EXPECT_EQ(line.name, "cfA");

    line = SubcommandLine::Parse(std::string("\0035 df\0x\n", 9));
    EXPECT_EQ(line.name, std::string("df\0x", 4));

    EXPECT_EQ(SubcommandLine::Parse("\001\n").code, '\1');
    EXPECT_TRUE(SubcommandLine::Parse("\001\n").countText.empty());
    EXPECT_EQ(SubcommandLine::Parse("").code, '\0');
}

TEST(SubcommandLineTest, WordsHoldAtMost255Characters) {
    const std::string name254(254, 'n');
    EXPECT_EQ(SubcommandLine::Parse("\0031 " + name254 + "\n").name, name254);
    EXPECT_EQ(SubcommandLine::Parse("\0031 " + name254 + "n\n").name, name254 + "n");
    EXPECT_EQ(SubcommandLine::Parse("\0031 " + name254 + "nn\n").name, name254 + "n");

    // A cut count loses the character after the cut; the name starts behind it.
    const std::string count(255, '1');
    const SubcommandLine line = SubcommandLine::Parse("\003" + count + "2dfA\n");
    EXPECT_EQ(line.countText, count);
    EXPECT_EQ(line.name, "dfA");
}

TEST(SubcommandLineTest, CountRule) {
    bool overflow = true;
    EXPECT_EQ(SubcommandLine::ParseCount("+12", overflow), 12);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(SubcommandLine::ParseCount("-12", overflow), -12);
    EXPECT_EQ(SubcommandLine::ParseCount("12abc", overflow), 12);
    EXPECT_EQ(SubcommandLine::ParseCount("abc", overflow), 0);
    EXPECT_EQ(SubcommandLine::ParseCount("-", overflow), 0);
    EXPECT_EQ(SubcommandLine::ParseCount("-0", overflow), 0);
    EXPECT_EQ(SubcommandLine::ParseCount("000000000000000000000042", overflow), 42);
    EXPECT_FALSE(overflow);
}

TEST(SubcommandLineTest, CountsBeyondSigned32BitsOverflow) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    bool overflow = true;
    EXPECT_EQ(SubcommandLine::ParseCount("2147483646", overflow), kMax - 1);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(SubcommandLine::ParseCount("2147483647", overflow), kMax);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(SubcommandLine::ParseCount("2147483648", overflow), kMax);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(SubcommandLine::ParseCount("-2147483648", overflow), kMin);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(SubcommandLine::ParseCount("-2147483649", overflow), kMin);
    EXPECT_TRUE(overflow);

    // CUPS's lpd backend announces a stream this way; only a positive overflow means "until
    // the client closes".
    EXPECT_TRUE(SubcommandLine::Parse("\003999999999999 dfA001host\n").UntilClose());
    EXPECT_TRUE(SubcommandLine::Parse("\003" + std::string(300, '9') + " dfA\n").UntilClose());
    EXPECT_FALSE(SubcommandLine::Parse("\003-999999999999 dfA001host\n").UntilClose());
    EXPECT_FALSE(SubcommandLine::Parse("\0032147483647 dfA001host\n").UntilClose());
}

}  // namespace
}  // namespace pg::test
