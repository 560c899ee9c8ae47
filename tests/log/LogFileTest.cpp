// The three log files: headers and closing lines, the time prefix and the shared line-start
// flag, levels and switches, buffering, and the hex dump layout byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "log/cLogFile.h"
#include "tests/log/LogTestSupport.h"

namespace pg::test {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

off_t SizeOnDisk(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

using LogFiles = LogTest;

TEST_F(LogFiles, HeadersAndClosingLinesOfEachKind) {
    for (int level : {1, 3}) {
        SCOPED_TRACE(level);
        WriteIniAllOn(level, 1024);
        { LogSession session(ini); }
        // The first header line's format leaves the line open, so the next one gets no time
        // prefix; at level 3 the destructor line comes before each closing line.
        const std::string bye = level == 3 ? "TT:TT:TT Executing the cLogFile::~cLogFile\n" : "";
        EXPECT_EQ(Masked(ReadFile(systemPath)),
                  "TT:TT:TT *** System LogFile '" + systemPath + "' created <DATE>\n" +
                      "[Logging]\\LogLevel=" + std::to_string(level) +
                      "\nTT:TT:TT [Logging]\\LogFileCache=1024\n" + bye +
                      "TT:TT:TT *** System LogFile closed ***\n");
        for (const auto& [path, title] :
             {std::pair{localPath, "Local Print"}, std::pair{remotePath, "Remote Print"}}) {
            EXPECT_EQ(Masked(ReadFile(path)),
                      "TT:TT:TT *** " + std::string(title) + " LogFile '" + path +
                          "' created <DATE>\n[Logging]\\LogFileCache=1024\n" + bye +
                          "TT:TT:TT *** " + title + " LogFile closed ***\n");
        }
    }
}

TEST_F(LogFiles, ClockTextsAreTheLocalTime) {
    // A zone far from UTC, so a clock read in UTC shows.
    const char* oldZone = std::getenv("TZ");
    const std::optional<std::string> savedZone =
        oldZone ? std::optional<std::string>(oldZone) : std::nullopt;
    ::setenv("TZ", "PGT-5:30", 1);
    ::tzset();
    WriteIni({{"SystemDebugEnable", "Y"}, {"SystemTrace", systemPath}, {"LogFileCache", "0"}});
    const std::time_t before = std::time(nullptr);
    systemLog.Open(ini);
    systemLog.Log(1, "now\n");
    std::set<std::string> times, dates;
    for (std::time_t t = before; t <= std::time(nullptr); ++t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        char text[64];
        std::strftime(text, sizeof text, "%H:%M:%S", &tm);
        times.insert(text);
        dates.insert(asctime_r(&tm, text));
    }
    if (savedZone) {
        ::setenv("TZ", savedZone->c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
    const std::string text = ReadFile(systemPath);
    EXPECT_TRUE(dates.count(text.substr(text.find(" created ") + 9, 25))) << text;
    EXPECT_TRUE(times.count(text.substr(0, 8))) << text;
    EXPECT_TRUE(times.count(text.substr(text.rfind(" now\n") - 8, 8))) << text;
}

TEST_F(LogFiles, TheLineStartFlagIsSharedAndSetByTheFormat) {
    WriteIniAllOn(1, 0);
    LogSession session(ini);
    const size_t systemHeader = ReadFile(systemPath).size();
    const size_t localHeader = ReadFile(localPath).size();
    systemLog.Log(1, "abc");
    systemLog.Log(1, "def\n");
    systemLog.Log(1, "abc");
    localPrintLog.Log(1, "def\n");    // the flag is one for all files
    systemLog.Log(1, "%s", "one\n");  // the format decides, not the text
    systemLog.Log(1, "two%c", '\n');
    // Writes that reach no file leave the flag alone.
    remotePrintLog.SetEnabled(false);
    remotePrintLog.Log(1, "x\n");
    systemLog.Log(2, "y\n");
    systemLog.Log(1, "three\n");
    systemLog.Log(1, "four\n");
    EXPECT_EQ(Masked(ReadFile(systemPath).substr(systemHeader)),
              "TT:TT:TT abcdef\nTT:TT:TT abcTT:TT:TT one\ntwo\nthree\nTT:TT:TT four\n");
    EXPECT_EQ(ReadFile(localPath).substr(localHeader), "def\n");
}

TEST_F(LogFiles, AYesValueOpensTheDefaultNameInTheWorkingDirectory) {
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    const std::pair<const char*, bool> rows[] = {{"Y", true},  {"y", true},  {"yonder", true},
                                                 {"N", false}, {"1", false}, {"true", false},
                                                 {"", false},  {"no", false}};
    for (const auto& [value, opens] : rows) {
        SCOPED_TRACE(value);
        WriteIni({{"SystemDebugEnable", value},
                  {"LocalTraceEnable", value},
                  {"RemoteTraceEnable", value}});
        {
            LogSession session(ini);
            systemLog.Log(1, "x\n");
        }
        for (const auto& [name, title] : {std::pair{"system.log", "System"},
                                          {"local.log", "Local Print"},
                                          {"remote.log", "Remote Print"}}) {
            EXPECT_EQ(FileExists(dir / name), opens) << name;
            if (opens) {
                EXPECT_TRUE(Contains(ReadFile(dir / name), std::string(" *** ") + title +
                                                               " LogFile '" + name + "' created "));
            }
            std::remove((dir / name).c_str());
        }
    }
    ASSERT_EQ(::chdir(previous), 0);
}

// The global objects close themselves when the process ends without Close(): buffered lines
// and the closing lines reach the files. (The forked child shares this test's directory.)
TEST_F(LogFiles, ProcessEndClosesTheFiles) {
    GTEST_FLAG_SET(death_test_style, "fast");
    WriteIniAllOn(1, 1024);
    EXPECT_EXIT(
        {
            systemLog.Open(ini);
            localPrintLog.Open(ini);
            systemLog.Log(1, "buffered line\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(Masked(ReadFile(systemPath))
                    .ends_with("TT:TT:TT buffered line\nTT:TT:TT *** System LogFile closed ***\n"));
    EXPECT_TRUE(ReadFile(localPath).ends_with(" *** Local Print LogFile closed ***\n"));
}

TEST_F(LogFiles, EachStartTruncatesAndWritesMessagesUpToTheLevelAndEveryDump) {
    // LogLevel 0 truncates no file, writes nothing anywhere, and switching a kind or the
    // screen on at run time does not bring it back.
    for (int level : {0, 1, 2, 3}) {
        SCOPED_TRACE(level);
        for (const std::string& path : {systemPath, localPath, remotePath}) {
            WriteFile(path, "stale\n");
        }
        WriteIniAllOn(level, 0);
        CaptureScreen();
        {
            LogSession session(ini);
            EXPECT_EQ(cLogFile::ScreenEnabled(), level != 0);
            cLogFile::SetScreenEnabled(true);
            for (cLogFile* log : {&systemLog, &localPrintLog, &remotePrintLog}) {
                log->SetEnabled(true);
                for (int message = 1; message <= 3; ++message) {
                    log->Log(message, "level %d\n", message);
                }
                log->HexDump("dump", "AB", 2);
            }
        }
        for (const std::string& path : {systemPath, localPath, remotePath}) {
            const std::string text = ReadFile(path);
            EXPECT_EQ(Contains(text, "stale"), level == 0) << path;
            for (int message = 1; message <= 3; ++message) {
                EXPECT_EQ(Contains(text, " level " + std::to_string(message) + "\n"),
                          message <= level)
                    << path;
            }
            EXPECT_EQ(Contains(text, "  dump  length(2)"), level != 0) << path;
        }
        EXPECT_EQ(ScreenLines().empty(), level == 0);
    }
}

TEST_F(LogFiles, SetEnabledSwitchesAKindAtOnceButOpensNoFile) {
    WriteIniAllOn(1, 0, {{"RemoteTraceEnable", "N"}});
    LogSession session(ini);
    systemLog.SetEnabled(false);
    EXPECT_FALSE(systemLog.Enabled());
    systemLog.Log(1, "while off\n");
    systemLog.HexDump("off dump", "x", 1);
    localPrintLog.Log(1, "local still on\n");
    systemLog.SetEnabled(true);
    systemLog.Log(1, "on again\n");
    systemLog.HexDump("on dump", "x", 1);
    remotePrintLog.SetEnabled(true);  // not opened at start: stays silent
    remotePrintLog.Log(1, "nowhere\n");
    const std::string text = ReadFile(systemPath);
    EXPECT_FALSE(Contains(text, "while off") || Contains(text, "off dump"));
    EXPECT_TRUE(Contains(text, " on again\n") && Contains(text, "  on dump  length(1)"));
    EXPECT_TRUE(Contains(ReadFile(localPath), " local still on\n"));
    EXPECT_FALSE(FileExists(remotePath));
}

TEST_F(LogFiles, TheCacheSizeIsClampedAndTheFileLagsBehindByUpToOneBuffer) {
    const std::pair<std::optional<int>, off_t> rows[] = {
        {std::nullopt, 1024}, {-5, 0},        {0, 0},         {1, 1},
        {32766, 32766},       {32767, 32767}, {32768, 32767}, {100000, 32767}};
    const std::string line(100, 'x');  // 110 bytes with the time prefix and the line feed
    for (const auto& [configured, buffer] : rows) {
        SCOPED_TRACE(configured.value_or(-1000));
        std::map<std::string, std::string> keys = {{"SystemDebugEnable", "Y"},
                                                   {"SystemTrace", systemPath}};
        if (configured) {
            keys["LogFileCache"] = std::to_string(*configured);
        }
        WriteIni(keys);
        systemLog.Open(ini);
        EXPECT_EQ(systemLog.CacheSize(), buffer);
        if (buffer == 0) {
            // Unbuffered: every write is on disk at once, even one that leaves its line open.
            systemLog.Log(1, "open");
            EXPECT_TRUE(ReadFile(systemPath).ends_with(" open"));
        }
        off_t lines = 0;
        while (buffer >= 1024 && SizeOnDisk(systemPath) == 0) {
            systemLog.Log(1, "%s\n", line.c_str());
            ++lines;
        }
        systemLog.Close();
        const std::string text = ReadFile(systemPath);
        EXPECT_TRUE(Contains(text, "[Logging]\\LogFileCache=" + std::to_string(buffer) + "\n"));
        if (lines > 0) {
            // Nothing reached the disk until the buffer could not take the next line.
            const auto header = static_cast<off_t>(text.find(" " + line)) - 8;
            EXPECT_LE(header + (lines - 1) * 110, buffer);
            EXPECT_GT(header + lines * 110, buffer);
        }
    }
}

const std::string kBlankRow(131, ' ');

class LogHexDump : public LogTest {
  protected:
    void SetUp() override {
        WriteIniAllOn(1, 0, {{"SystemDebugEnable", "N"}, {"RemoteTraceEnable", "N"}});
        localPrintLog.Open(ini);
    }
    // What `dump` adds to the local file, clock masked.
    template <typename Dump>
    std::string Dumped(Dump dump) {
        const size_t before = ReadFile(localPath).size();
        dump();
        return Masked(ReadFile(localPath).substr(before));
    }
};

TEST_F(LogHexDump, RowsAre131CharactersOfHexAndPrintableText) {
    const std::string hex16 =
        "   30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46   0123456789ABCDEF" +
        std::string(62, ' ') + "\n";
    const std::string bytes(
        "\x00\x1F\x20\x7E\x7F\x80\xFF"
        "a",
        8);
    struct Row {
        std::string data;
        std::string rows;
    } rows[] = {{"", ""},
                {"\x80", "   80" + std::string(48, ' ') + "." + std::string(77, ' ') + "\n"},
                {"0123456789ABCDEF", hex16},
                {"0123456789ABCDEFG",
                 hex16 + "   47" + std::string(48, ' ') + "G" + std::string(77, ' ') + "\n"},
                {bytes, "   00 1F 20 7E 7F 80 FF 61" + std::string(27, ' ') + ".. ~...a" +
                            std::string(70, ' ') + "\n"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.data.size());
        // The header line carries the blank row that the first byte flushes.
        EXPECT_EQ(Dumped([&] {
                      localPrintLog.HexDump("Recv", row.data.data(),
                                            static_cast<int32_t>(row.data.size()));
                  }),
                  "TT:TT:TT  Recv  length(" + std::to_string(row.data.size()) + ")" + kBlankRow +
                      "\n" + row.rows + "\n");
    }
    EXPECT_EQ(Dumped([] { localPrintLog.HexDump("Recv", nullptr, 5); }),
              "TT:TT:TT  Recv  length(5)Data = NULL\n\n");
}

// A dump neither ends an open line nor starts one.
TEST_F(LogHexDump, LeavesTheLineStartFlagAlone) {
    EXPECT_EQ(Dumped([] {
                  localPrintLog.Log(1, "abc");
                  localPrintLog.HexDump("Mid", "", 0);
                  localPrintLog.Log(1, "def\n");
                  localPrintLog.HexDump("End", "", 0);
                  localPrintLog.Log(1, "ghi\n");
              }),
              "TT:TT:TT abcTT:TT:TT  Mid  length(0)" + kBlankRow + "\n\ndef\n" +
                  "TT:TT:TT  End  length(0)" + kBlankRow + "\n\nTT:TT:TT ghi\n");
}

}  // namespace
}  // namespace pg::test
