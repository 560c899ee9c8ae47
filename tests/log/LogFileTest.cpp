// The three log files: levels and switches, the screen routing, rotation, and writes from many
// threads at once; client text with its controls escaped.

#include "log/LogFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "log/EscapeControls.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

using Keys = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Each test writes its own pgate.ini into its own directory and closes the logs it opens.
class LogFiles : public ::testing::Test {
  protected:
    void TearDown() override { LogFile::SetScreenOutput(nullptr); }

    void WriteIni(Keys keys, const Keys& more = {}) {
        keys.insert(more.begin(), more.end());
        std::string text = "[Logging]\r\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\r\n";
        }
        WriteFile(ini, text);
    }
    Keys AllOn(int level) const {
        return {{"LogLevel", std::to_string(level)}, {"SystemDebugEnable", "Y"},
                {"LocalTraceEnable", "Y"},           {"RemoteTraceEnable", "Y"},
                {"SystemTrace", systemPath},         {"LocalPrintTrace", localPath},
                {"RemotePrintTrace", remotePath}};
    }
    // The sink records what it gets (the tests that use it log from their own thread only).
    void CaptureScreen() {
        screenLines.clear();
        LogFile::SetScreenOutput([this](const char* text) { screenLines.emplace_back(text); });
    }

    TempDir dir{"pglog"};
    const std::string ini = dir / "pgate.ini";
    const std::string systemPath = dir / "system.log";
    const std::string localPath = dir / "local.log";
    const std::string remotePath = dir / "remote.log";
    Lines screenLines;
};

// Each start truncates the files and writes messages up to LogLevel and every dump; LogLevel 0
// truncates nothing and writes nothing, even with a kind or the screen switched on later.
TEST_F(LogFiles, EachStartTruncatesAndWritesMessagesUpToTheLevel) {
    for (int level : {0, 1, 2, 3}) {
        SCOPED_TRACE(level);
        for (const std::string& path : {systemPath, localPath, remotePath}) {
            WriteFile(path, "stale\n");
        }
        WriteIni(AllOn(level));
        CaptureScreen();
        {
            LogSession session(ini);
            LogFile::SetScreenEnabled(true);
            for (LogFile* log : {&systemLog, &localPrintLog, &remotePrintLog}) {
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
            EXPECT_EQ(Contains(text, "dump"), level != 0) << path;
        }
        EXPECT_EQ(screenLines.empty(), level == 0);
    }
}

// Only system lines reach the screen sink, dumps not; a system message whose file and screen
// are off is not even formatted. Removing the sink waits for a call running in it.
TEST_F(LogFiles, OnlySystemLinesReachTheSinkAndRemovingItWaitsForARunningCall) {
    WriteIni(AllOn(2));
    LogSession session(ini);
    CaptureScreen();
    systemLog.SetEnabled(false);
    systemLog.Log(1, "job %d done\n", 7);
    systemLog.HexDump("not shown", "x", 1);
    remotePrintLog.Log(1, "remote lines stay in their file\n");
    EXPECT_EQ(screenLines, Lines{"job 7 done"});

    std::latch entered(1);
    std::atomic<bool> sinkFinished{false};
    LogFile::SetScreenOutput([&](const char*) {
        entered.count_down();
        // The pause only gives a wrong implementation the chance to return early.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sinkFinished = true;
    });
    std::jthread writer([] { systemLog.Log(1, "slow\n"); });
    entered.wait();
    LogFile::SetScreenOutput(nullptr);
    EXPECT_TRUE(sinkFinished);
    LogFile::SetScreenEnabled(false);
    EXPECT_FALSE(systemLog.Writes(1));
}

// A file that would grow past LogMaxMB moves to <name>.1, replacing the one before, and a new
// file takes the following writes: the two together hold the last dumps whole, none cut.
TEST_F(LogFiles, AFullFileMovesToDotOneAndANewOneStarts) {
    WriteIni(AllOn(1), {{"LogMaxMB", "1"}});
    localPrintLog.Open(ini);
    const std::string data(4000, 'x');
    const auto dump = [&data](int number) {
        localPrintLog.HexDump(("dump " + std::to_string(number) + " ").c_str(), data.data(),
                              static_cast<int32_t>(data.size()));
    };
    dump(1000);  // a label as long as the others
    const uintmax_t cap = 1 << 20;
    // Enough dumps for the first file to move twice.
    const int count = static_cast<int>(cap * 5 / 2 / std::filesystem::file_size(localPath));
    for (int number = 1001; number < 1000 + count; ++number) {
        dump(number);
    }
    localPrintLog.Close();
    const std::string older = ReadFile(localPath + ".1");
    EXPECT_LE(older.size(), cap);
    const int first = std::stoi(older.substr(older.find(" dump ") + 6));
    EXPECT_GT(first, 1000);
    const std::string both = older + ReadFile(localPath);
    for (int number = first; number < 1000 + count; ++number) {
        ASSERT_TRUE(Contains(both, " dump " + std::to_string(number) + " ")) << number;
    }
}

// Many threads logging at once through a small cache, lines short and long: every line reaches
// the file whole.
TEST_F(LogFiles, LinesOfManyThreadsStayWhole) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 150;
    WriteIni(AllOn(1), {{"LogFileCache", "1024"}});
    const auto line = [](int t, int i) {
        return "T" + std::to_string(t) + " line " + std::to_string(i) +
               std::string(static_cast<size_t>((t * 37 + i * 11) % 900), 'a');
    };
    {
        LogSession session(ini);
        std::latch start(kThreads);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &start, &line] {
                start.arrive_and_wait();
                for (int i = 0; i < kRounds; ++i) {
                    systemLog.Log(1, "%s\n", line(t, i).c_str());
                }
            });
        }
    }
    const std::string text = ReadFile(systemPath);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_TRUE(Contains(text, " " + line(t, i) + "\n")) << line(t, i);
        }
    }
}

TEST(EscapeControls, ControlsOfEveryFormAreEscapedAndOtherTextKept) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> rows[] = {
        {"a\0b\tc\r\n\x1B[2J\x7F"s, "a\\x00b\\x09c\\x0D\\x0A\\x1B[2J\\x7F"},
        // UTF-8 is kept, with continuation bytes in 0x80-0x9F ("\xE2\x82\xAC" is the euro).
        {"Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x96\xA8",
         "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x96\xA8"},
        // A C1 control in UTF-8, and in a single-byte set beside a single-byte letter.
        {"x\xC2\x9By", "x\\xC2\\x9By"},
        {"caf\xE9 \x9Bm", "caf\xE9 \\x9Bm"},
        // Broken or overlong UTF-8 hides nothing: its bytes are judged one by one.
        {"\xC0\x8A \xE2\x82 \xED\xA0\x80 \xC2", "\xC0\\x8A \xE2\\x82 \xED\xA0\\x80 \xC2"},
    };
    for (const auto& [text, shown] : rows) {
        EXPECT_EQ(EscapeControls(text), shown);
    }
}

}  // namespace
}  // namespace pg::test
