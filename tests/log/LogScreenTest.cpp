// Routing of systemLog messages to the message window's sink.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <thread>

#include "log/cLogFile.h"
#include "tests/log/LogTestSupport.h"

namespace pg::test {
namespace {

using LogScreen = LogTest;
using Lines = std::vector<std::string>;

TEST_F(LogScreen, SystemMessagesReachTheSinkWithoutASystemFile) {
    // The system file is off, or cannot be opened (which leaves its kind silent, unreported).
    for (const char* enable : {"N", "Y"}) {
        SCOPED_TRACE(enable);
        WriteIni({{"SystemDebugEnable", enable},
                  {"SystemTrace", dir / "missing/system.log"},
                  {"LocalTraceEnable", "Y"},
                  {"LocalPrintTrace", localPath}});
        CaptureScreen();
        {
            LogSession session(ini);
            EXPECT_TRUE(cLogFile::ScreenEnabled());  // LogToScreen defaults to yes
            systemLog.Log(1, "job %d done\n", 7);
            systemLog.Log(2, "too detailed\n");
            systemLog.HexDump("not shown", "x", 1);
            localPrintLog.Log(1, "local lines stay in their file\n");
            remotePrintLog.Log(1, "remote too\n");
            EXPECT_EQ(ScreenLines(), Lines{"job 7 done"});
        }
        EXPECT_FALSE(FileExists(dir / "missing"));
        EXPECT_NE(ReadFile(localPath).find(" local lines stay in their file\n"), std::string::npos);
    }
}

TEST_F(LogScreen, LogToScreenNeedsAYesValueAndSwitchesAtRunTime) {
    const std::pair<const char*, bool> rows[] = {{"Y", true},  {"yes", true}, {"yonder", true},
                                                 {"N", false}, {"no", false}, {"1", false}};
    for (const auto& [value, on] : rows) {
        SCOPED_TRACE(value);
        WriteIni({{"LogToScreen", value}});
        CaptureScreen();
        systemLog.Open(ini);
        EXPECT_EQ(cLogFile::ScreenEnabled(), on);
        systemLog.Log(1, "as read\n");
        cLogFile::SetScreenEnabled(!on);
        systemLog.Log(1, "switched\n");
        cLogFile::SetScreenEnabled(false);
        systemLog.Close();
        EXPECT_EQ(ScreenLines(), Lines{on ? "as read" : "switched"});
    }
}

TEST_F(LogScreen, MessagesAreCutTo255CharactersAndLoseOneLineFeed) {
    WriteIniAllOn(1, 0, {{"LocalTraceEnable", "N"}, {"RemoteTraceEnable", "N"}});
    CaptureScreen();
    LogSession session(ini);
    const std::string a254(254, 'a'), b255(255, 'b'), c256(256, 'c'), d300(300, 'd');
    systemLog.Log(1, "%s\n", a254.c_str());
    systemLog.Log(1, "%s\n", b255.c_str());  // the line feed is the 256th character
    systemLog.Log(1, "%s", c256.c_str());
    systemLog.Log(1, "%s\n", d300.c_str());
    systemLog.Log(1, "two\n\n");
    systemLog.Log(1, "none");
    EXPECT_EQ(ScreenLines(),
              (Lines{a254, b255, c256.substr(0, 255), d300.substr(0, 255), "two\n", "none"}));
    // The file keeps the whole message.
    EXPECT_NE(ReadFile(systemPath).find(d300 + "\n"), std::string::npos);
}

TEST_F(LogScreen, RemovingTheSinkWaitsForARunningCall) {
    WriteIni({});
    LogSession session(ini);
    std::latch entered(1), release(1);
    std::atomic<bool> sinkFinished{false};
    cLogFile::SetScreenOutput([&](const char*) {
        entered.count_down();
        release.wait();
        sinkFinished = true;
    });
    std::thread writer([] { systemLog.Log(1, "slow\n"); });
    entered.wait();
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        cLogFile::SetScreenOutput(nullptr);
        removed = true;
        EXPECT_TRUE(sinkFinished);
    });
    // The remover must still be waiting while the sink runs; the pause only gives a wrong
    // implementation the chance to return early.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(removed);
    release.count_down();
    remover.join();
    writer.join();
}

}  // namespace
}  // namespace pg::test
