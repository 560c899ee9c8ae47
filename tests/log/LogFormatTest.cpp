// Headers, closing lines, the shared line-start flag, truncation and file names.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>

#include "log/cLogFile.h"
#include "tests/log/LogTestSupport.h"

namespace pg::test {
namespace {

using LogHeaders = LogTest;

TEST_F(LogHeaders, EachKindWritesItsHeaderAndClosingLine) {
    WriteIniAllOn(1, 1024);
    { LogSession session(ini); }
    EXPECT_EQ(Masked(ReadFile(systemPath)), "TT:TT:TT *** System LogFile '" + systemPath +
                                                "' created <DATE>\n" +
                                                "[Logging]\\LogLevel=1\n"
                                                "TT:TT:TT [Logging]\\LogFileCache=1024\n"
                                                "TT:TT:TT *** System LogFile closed ***\n");
    EXPECT_EQ(Masked(ReadFile(localPath)), "TT:TT:TT *** Local Print LogFile '" + localPath +
                                               "' created <DATE>\n" +
                                               "[Logging]\\LogFileCache=1024\n"
                                               "TT:TT:TT *** Local Print LogFile closed ***\n");
    EXPECT_EQ(Masked(ReadFile(remotePath)), "TT:TT:TT *** Remote Print LogFile '" + remotePath +
                                                "' created <DATE>\n" +
                                                "[Logging]\\LogFileCache=1024\n"
                                                "TT:TT:TT *** Remote Print LogFile closed ***\n");
}

TEST_F(LogHeaders, LevelThreeAddsTheDestructorLineBeforeEachClosingLine) {
    WriteIniAllOn(3, 0);
    { LogSession session(ini); }
    const std::string system = Masked(ReadFile(systemPath));
    EXPECT_NE(system.find("[Logging]\\LogLevel=3\n"), std::string::npos);
    EXPECT_TRUE(
        system.ends_with("TT:TT:TT [Logging]\\LogFileCache=0\n"
                         "TT:TT:TT Executing the cLogFile::~cLogFile\n"
                         "TT:TT:TT *** System LogFile closed ***\n"))
        << system;
    EXPECT_TRUE(Masked(ReadFile(remotePath))
                    .ends_with("TT:TT:TT Executing the cLogFile::~cLogFile\n"
                               "TT:TT:TT *** Remote Print LogFile closed ***\n"));
}

// The date is the local time of the open in asctime's layout, and the prefixes are the local
// time of day when the line was written.
TEST_F(LogHeaders, ClockTextsAreTheLocalTime) {
    WriteIniAllOn(1, 0, {{"LocalTraceEnable", "N"}, {"RemoteTraceEnable", "N"}});
    const std::time_t before = std::time(nullptr);
    systemLog.Open(ini);
    systemLog.Log(1, "now\n");
    const std::time_t after = std::time(nullptr);
    const std::string text = ReadFile(systemPath);

    std::set<std::string> allowed;
    for (std::time_t t = before; t <= after; ++t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        char buffer[16];
        std::strftime(buffer, sizeof buffer, "%H:%M:%S", &tm);
        allowed.insert(buffer);
    }
    const size_t dateAt = text.find("created ") + 8;
    std::tm parsed{};
    ASSERT_NE(strptime(text.c_str() + dateAt, "%a %b %d %H:%M:%S %Y", &parsed), nullptr);
    parsed.tm_isdst = -1;
    const std::time_t date = std::mktime(&parsed);
    EXPECT_GE(date, before);
    EXPECT_LE(date, after);
    EXPECT_EQ(text[dateAt + 24], '\n');
    EXPECT_TRUE(allowed.count(text.substr(0, 8))) << text;
    const size_t line = text.rfind("now\n");
    ASSERT_GE(line, 9u);
    EXPECT_TRUE(allowed.count(text.substr(line - 9, 8))) << text;
}

using LogLineStart = LogTest;

TEST_F(LogLineStart, AnOpenLineGetsNoPrefixOnItsContinuation) {
    WriteIniAllOn(1, 0);
    LogSession session(ini);
    const size_t headerSize = ReadFile(systemPath).size();
    systemLog.Log(1, "abc");
    systemLog.Log(1, "def\n");
    systemLog.Log(1, "ghi\n");
    EXPECT_EQ(Masked(ReadFile(systemPath).substr(headerSize)), "TT:TT:TT abcdef\nTT:TT:TT ghi\n");
}

TEST_F(LogLineStart, TheFlagIsSharedAcrossFiles) {
    WriteIniAllOn(1, 0);
    LogSession session(ini);
    const size_t systemHeader = ReadFile(systemPath).size();
    const size_t localHeader = ReadFile(localPath).size();
    systemLog.Log(1, "abc");
    localPrintLog.Log(1, "def\n");
    systemLog.Log(1, "ghi\n");
    EXPECT_EQ(Masked(ReadFile(systemPath).substr(systemHeader)), "TT:TT:TT abcTT:TT:TT ghi\n");
    EXPECT_EQ(ReadFile(localPath).substr(localHeader), "def\n");
}

TEST_F(LogLineStart, TheFormatDecidesNotTheText) {
    WriteIniAllOn(1, 0, {{"LocalTraceEnable", "N"}});
    LogSession session(ini);
    const size_t headerSize = ReadFile(systemPath).size();
    systemLog.Log(1, "%s", "one\n");
    systemLog.Log(1, "two%c", '\n');
    // Writes that reach no file leave the flag alone: local is off, remote is switched off.
    localPrintLog.Log(1, "x\n");
    remotePrintLog.SetEnabled(false);
    remotePrintLog.Log(1, "y\n");
    systemLog.Log(1, "three\n");
    EXPECT_EQ(Masked(ReadFile(systemPath).substr(headerSize)), "TT:TT:TT one\ntwo\nthree\n");
}

using LogFiles = LogTest;

TEST_F(LogFiles, EachOpenTruncatesTheEnabledFiles) {
    WriteFile(systemPath, "stale system\n");
    WriteFile(localPath, "stale local\n");
    WriteIniAllOn(1, 1024, {{"RemoteTraceEnable", "N"}});
    {
        LogSession session(ini);
        systemLog.Log(1, "first run\n");
    }
    {
        LogSession session(ini);
        systemLog.Log(1, "second run\n");
    }
    const std::string system = ReadFile(systemPath);
    EXPECT_EQ(system.find("stale"), std::string::npos);
    EXPECT_EQ(system.find("first run"), std::string::npos);
    EXPECT_NE(system.find("second run"), std::string::npos);
    EXPECT_EQ(ReadFile(localPath).find("stale"), std::string::npos);
    EXPECT_FALSE(FileExists(remotePath));
}

TEST_F(LogFiles, DefaultNamesAreRelativeToTheWorkingDirectory) {
    WriteIni({{"SystemDebugEnable", "y"}, {"LocalTraceEnable", "yes"}});
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    { LogSession session(ini); }
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_NE(ReadFile(systemPath).find(" *** System LogFile 'system.log' created "),
              std::string::npos);
    EXPECT_NE(ReadFile(localPath).find(" *** Local Print LogFile 'local.log' created "),
              std::string::npos);
    EXPECT_FALSE(FileExists(remotePath));
}

TEST_F(LogFiles, OnlyYesValuesOpenAFile) {
    for (const char* value : {"Y", "y", "Yes", "yonder"}) {
        WriteIniAllOn(1, 0, {{"SystemDebugEnable", value}});
        systemLog.Open(ini);
        systemLog.Close();
        EXPECT_TRUE(FileExists(systemPath)) << value;
        std::remove(systemPath.c_str());
    }
    for (const char* value : {"N", "no", "1", "true", ""}) {
        WriteIniAllOn(1, 0, {{"SystemDebugEnable", value}});
        systemLog.Open(ini);
        systemLog.Log(1, "x\n");
        systemLog.Close();
        EXPECT_FALSE(FileExists(systemPath)) << value;
    }
}

TEST_F(LogFiles, AFileThatCannotBeOpenedLeavesItsKindSilent) {
    WriteIniAllOn(1, 0, {{"SystemTrace", dir / "missing/system.log"}});
    CaptureScreen();
    LogSession session(ini);
    systemLog.Log(1, "still shown\n");
    localPrintLog.Log(1, "local works\n");
    EXPECT_FALSE(FileExists(dir / "missing"));
    EXPECT_EQ(ScreenLines(), std::vector<std::string>{"still shown"});
    EXPECT_NE(ReadFile(localPath).find("local works\n"), std::string::npos);
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

}  // namespace
}  // namespace pg::test
