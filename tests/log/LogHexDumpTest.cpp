// The hex dump layout, byte for byte.

#include <gtest/gtest.h>

#include <string>

#include "log/cLogFile.h"
#include "tests/log/LogTestSupport.h"

namespace pg::test {
namespace {

const std::string kBlankRow(131, ' ');

class LogHexDump : public LogTest {
  protected:
    void SetUp() override {
        WriteIniAllOn(1, 0, {{"SystemDebugEnable", "N"}, {"RemoteTraceEnable", "N"}});
        localPrintLog.Open(ini);
        headerSize = ReadFile(localPath).size();
    }
    // What the dump added to the local file, clock masked.
    std::string Dumped() { return Masked(ReadFile(localPath).substr(headerSize)); }

    size_t headerSize = 0;
};

TEST_F(LogHexDump, EmptyDataGivesTheHeaderRowAndAnEmptyLine) {
    localPrintLog.HexDump("Recv", "", 0);
    EXPECT_EQ(Dumped(), "TT:TT:TT  Recv  length(0)" + kBlankRow + "\n\n");
}

TEST_F(LogHexDump, NullDataIsNamed) {
    localPrintLog.HexDump("Recv", nullptr, 5);
    EXPECT_EQ(Dumped(), "TT:TT:TT  Recv  length(5)Data = NULL\n\n");
}

TEST_F(LogHexDump, OneByte) {
    localPrintLog.HexDump("Ack", "\x80", 1);
    EXPECT_EQ(Dumped(), "TT:TT:TT  Ack  length(1)" + kBlankRow + "\n" + "   80" +
                            std::string(48, ' ') + "." + std::string(77, ' ') + "\n\n");
}

TEST_F(LogHexDump, SixteenBytesFillOneRow) {
    localPrintLog.HexDump("Send", "0123456789ABCDEF", 16);
    const std::string row =
        "   30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46   0123456789ABCDEF" +
        std::string(62, ' ');
    ASSERT_EQ(row.size(), 131u);
    EXPECT_EQ(Dumped(), "TT:TT:TT  Send  length(16)" + kBlankRow + "\n" + row + "\n\n");
}

TEST_F(LogHexDump, SeventeenBytesStartASecondRow) {
    localPrintLog.HexDump("Send", "0123456789ABCDEFG", 17);
    const std::string first =
        "   30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46   0123456789ABCDEF" +
        std::string(62, ' ');
    const std::string second = "   47" + std::string(48, ' ') + "G" + std::string(77, ' ');
    EXPECT_EQ(Dumped(),
              "TT:TT:TT  Send  length(17)" + kBlankRow + "\n" + first + "\n" + second + "\n\n");
}

TEST_F(LogHexDump, OnlyPrintableBytesShowAsText) {
    const char data[] = {0x00, 0x1F, 0x20, 0x7E, 0x7F, char(0x80), char(0xFF), 'a'};
    localPrintLog.HexDump("Bytes", data, sizeof data);
    const std::string row =
        "   00 1F 20 7E 7F 80 FF 61" + std::string(27, ' ') + ".. ~...a" + std::string(70, ' ');
    ASSERT_EQ(row.size(), 131u);
    EXPECT_EQ(Dumped(), "TT:TT:TT  Bytes  length(8)" + kBlankRow + "\n" + row + "\n\n");
}

TEST_F(LogHexDump, EveryRowIs131Characters) {
    std::string data;
    for (int i = 0; i < 256; ++i) {
        data += static_cast<char>(i);
    }
    localPrintLog.HexDump("All", data.data(), static_cast<int32_t>(data.size()));
    std::string expected = "TT:TT:TT  All  length(256)" + kBlankRow + "\n";
    for (size_t at = 0; at < data.size(); at += 16) {
        expected += DumpRow(data.substr(at, 16)) + "\n";
    }
    EXPECT_EQ(Dumped(), expected + "\n");
}

// A dump neither ends an open line nor gets a prefix of its own choosing.
TEST_F(LogHexDump, LeavesTheLineStartFlagAlone) {
    localPrintLog.Log(1, "abc");
    localPrintLog.HexDump("Mid", "", 0);
    localPrintLog.Log(1, "def\n");
    localPrintLog.HexDump("End", "", 0);
    localPrintLog.Log(1, "ghi\n");
    EXPECT_EQ(Dumped(), "TT:TT:TT abcTT:TT:TT  Mid  length(0)" + kBlankRow + "\n\ndef\n" +
                            "TT:TT:TT  End  length(0)" + kBlankRow + "\n\nTT:TT:TT ghi\n");
}

}  // namespace
}  // namespace pg::test
