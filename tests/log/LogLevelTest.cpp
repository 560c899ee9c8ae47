// Levels, LogLevel 0, the run-time switches and the stream buffering.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "log/cLogFile.h"
#include "tests/log/LogTestSupport.h"

namespace pg::test {
namespace {

off_t SizeOnDisk(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using LogLevels = LogTest;

TEST_F(LogLevels, LevelOneWritesOnlyLevelOneLinesButEveryDump) {
    WriteIniAllOn(1, 0);
    CaptureScreen();
    {
        LogSession session(ini);
        for (cLogFile* log : {&systemLog, &localPrintLog, &remotePrintLog}) {
            log->Log(1, "level one\n");
            log->Log(2, "level two\n");
            log->Log(3, "level three\n");
            log->HexDump("dump", "AB", 2);
        }
    }
    for (const std::string& path : {systemPath, localPath, remotePath}) {
        const std::string text = ReadFile(path);
        EXPECT_TRUE(Contains(text, " level one\n")) << path;
        EXPECT_FALSE(Contains(text, "level two")) << path;
        EXPECT_FALSE(Contains(text, "level three")) << path;
        EXPECT_FALSE(Contains(text, "Executing the cLogFile::~cLogFile")) << path;
        EXPECT_TRUE(Contains(text, "  dump  length(2)")) << path;
    }
    EXPECT_EQ(ScreenLines(),
              (std::vector<std::string>{"level one", "*** System LogFile closed ***"}));
}

TEST_F(LogLevels, LevelTwoWritesLevelsUpToTwo) {
    WriteIniAllOn(2, 0);
    LogSession session(ini);
    systemLog.Log(1, "level one\n");
    systemLog.Log(2, "level two\n");
    systemLog.Log(3, "level three\n");
    const std::string text = ReadFile(systemPath);
    EXPECT_TRUE(Contains(text, " level one\n"));
    EXPECT_TRUE(Contains(text, " level two\n"));
    EXPECT_FALSE(Contains(text, "level three"));
    EXPECT_EQ(systemLog.Level(), 2);
}

TEST_F(LogLevels, LevelZeroTouchesNoFileAndNoScreen) {
    WriteFile(systemPath, "old system\n");
    WriteFile(localPath, "old local\n");
    WriteIniAllOn(0, 0);
    CaptureScreen();
    {
        LogSession session(ini);
        EXPECT_EQ(systemLog.Level(), 0);
        EXPECT_FALSE(cLogFile::ScreenEnabled());
        for (cLogFile* log : {&systemLog, &localPrintLog, &remotePrintLog}) {
            log->Log(1, "written\n");
            log->Print("printed\n");
            log->HexDump("dump", "AB", 2);
            log->SetEnabled(true);
            log->Log(1, "after enable\n");
        }
        // Switching the screen on at run time does not bring the routing back either.
        cLogFile::SetScreenEnabled(true);
        systemLog.Log(1, "screen\n");
    }
    EXPECT_EQ(ReadFile(systemPath), "old system\n");
    EXPECT_EQ(ReadFile(localPath), "old local\n");
    EXPECT_FALSE(FileExists(remotePath));
    EXPECT_TRUE(ScreenLines().empty());
}

using LogSwitches = LogTest;

TEST_F(LogSwitches, SetEnabledTurnsAKindOffAndOnAtOnce) {
    WriteIniAllOn(1, 0);
    LogSession session(ini);
    systemLog.SetEnabled(false);
    EXPECT_FALSE(systemLog.Enabled());
    systemLog.Log(1, "while off\n");
    systemLog.HexDump("off dump", "x", 1);
    localPrintLog.Log(1, "local still on\n");
    systemLog.SetEnabled(true);
    EXPECT_TRUE(systemLog.Enabled());
    systemLog.Log(1, "on again\n");
    systemLog.HexDump("on dump", "x", 1);

    const std::string text = ReadFile(systemPath);
    EXPECT_FALSE(Contains(text, "while off"));
    EXPECT_FALSE(Contains(text, "off dump"));
    EXPECT_TRUE(Contains(text, " on again\n"));
    EXPECT_TRUE(Contains(text, "  on dump  length(1)"));
    EXPECT_TRUE(Contains(ReadFile(localPath), " local still on\n"));
}

TEST_F(LogSwitches, AKindNotOpenedAtStartStaysSilentWhenSwitchedOn) {
    WriteIniAllOn(1, 0, {{"RemoteTraceEnable", "N"}});
    LogSession session(ini);
    remotePrintLog.SetEnabled(true);
    remotePrintLog.Log(1, "nowhere\n");
    remotePrintLog.HexDump("nowhere", "x", 1);
    EXPECT_FALSE(FileExists(remotePath));
    EXPECT_FALSE(Contains(ReadFile(systemPath) + ReadFile(localPath), "nowhere"));
}

using LogCache = LogTest;

TEST_F(LogCache, SizeIsClampedToItsRange) {
    const std::pair<int, int> cases[] = {{-5, 0},        {-1, 0},        {0, 0},
                                         {1, 1},         {32766, 32766}, {32767, 32767},
                                         {32768, 32767}, {100000, 32767}};
    for (const auto& [configured, expected] : cases) {
        WriteIniAllOn(1, configured, {{"LocalTraceEnable", "N"}, {"RemoteTraceEnable", "N"}});
        systemLog.Open(ini);
        EXPECT_EQ(systemLog.CacheSize(), expected) << configured;
        systemLog.Close();
        EXPECT_TRUE(Contains(ReadFile(systemPath),
                             "[Logging]\\LogFileCache=" + std::to_string(expected) + "\n"))
            << configured;
    }
}

TEST_F(LogCache, ZeroOrLessMakesEveryWriteVisibleAtOnce) {
    WriteIniAllOn(1, -5);
    LogSession session(ini);
    EXPECT_TRUE(Contains(ReadFile(systemPath), "LogFileCache=0\n"));
    systemLog.Log(1, "first\n");
    EXPECT_TRUE(ReadFile(systemPath).ends_with(" first\n"));
    systemLog.Log(1, "open");
    EXPECT_TRUE(ReadFile(systemPath).ends_with(" open"));
    localPrintLog.HexDump("dump", "x", 1);
    EXPECT_TRUE(ReadFile(localPath).ends_with("\n\n"));
}

TEST_F(LogCache, DefaultBufferHoldsUpTo1024Bytes) {
    WriteIni({{"SystemDebugEnable", "Y"}, {"SystemTrace", systemPath}});
    systemLog.Open(ini);
    EXPECT_EQ(systemLog.CacheSize(), 1024);
    EXPECT_EQ(SizeOnDisk(systemPath), 0);  // the header waits in the buffer
    const std::string line(800, 'a');
    systemLog.Log(1, "%s\n", line.c_str());
    EXPECT_EQ(SizeOnDisk(systemPath), 0);  // about 940 bytes so far
    systemLog.Log(1, "%s\n", line.c_str());
    EXPECT_GE(SizeOnDisk(systemPath), 1024);
    systemLog.Close();
    EXPECT_TRUE(ReadFile(systemPath).ends_with(" *** System LogFile closed ***\n"));
}

TEST_F(LogCache, ClampedBufferHolds32767Bytes) {
    WriteIniAllOn(1, 100000, {{"LocalTraceEnable", "N"}, {"RemoteTraceEnable", "N"}});
    LogSession session(ini);
    const std::string line(999, 'b');
    for (int i = 0; i < 32; ++i) {  // header and 32 lines of 1009 bytes: under 32767
        systemLog.Log(1, "%s\n", line.c_str());
    }
    EXPECT_EQ(SizeOnDisk(systemPath), 0);
    systemLog.Log(1, "%s\n", line.c_str());
    EXPECT_GE(SizeOnDisk(systemPath), 32767);
}

}  // namespace
}  // namespace pg::test
