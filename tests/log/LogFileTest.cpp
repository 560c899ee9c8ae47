// The three log files: levels and switches, whether a write would reach anything, rotation,
// the screen routing, the files closed at process end, and writes from many threads at once.

#include "log/LogFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

using Keys = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Each test writes its own pgate.ini into its own directory and closes the three logs again.
class LogFiles : public ::testing::Test {
  protected:
    void TearDown() override {
        remotePrintLog.Close();
        localPrintLog.Close();
        systemLog.Close();
        LogFile::SetScreenOutput(nullptr);
    }

    void WriteIni(const Keys& keys) {
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
    void CaptureScreen() {
        TakeScreenLines();
        LogFile::SetScreenOutput([this](const char* text) {
            std::lock_guard<std::mutex> lock(screenMutex);
            screenLines.emplace_back(text);
        });
    }
    Lines TakeScreenLines() {
        std::lock_guard<std::mutex> lock(screenMutex);
        return std::exchange(screenLines, {});
    }

    TempDir dir{"pglog"};
    const std::string ini = dir / "pgate.ini";
    const std::string systemPath = dir / "system.log";
    const std::string localPath = dir / "local.log";
    const std::string remotePath = dir / "remote.log";

  private:
    std::mutex screenMutex;
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
        EXPECT_EQ(TakeScreenLines().empty(), level == 0);
    }
}

// Writes() is false as soon as neither the kind's file nor (systemLog) an installed screen sink
// would take a message, so callers skip formatting; system lines reach the sink alone.
TEST_F(LogFiles, WritesFollowsTheFileTheScreenAndTheSink) {
    Keys keys = AllOn(2);
    keys["LocalPrintTrace"] = dir / "missing/local.log";  // cannot be opened
    WriteIni(keys);
    {
        LogSession session(ini);
        EXPECT_TRUE(systemLog.Writes(2));
        EXPECT_FALSE(systemLog.Writes(3));
        EXPECT_FALSE(localPrintLog.Writes(1));
        systemLog.SetEnabled(false);
        EXPECT_FALSE(systemLog.Writes(1));  // the screen is on, but no sink is installed
        CaptureScreen();
        EXPECT_TRUE(systemLog.Writes(1));
        systemLog.Log(1, "job %d done\n", 7);
        systemLog.HexDump("not shown", "x", 1);
        remotePrintLog.Log(1, "remote lines stay in their file\n");
        EXPECT_EQ(TakeScreenLines(), Lines{"job 7 done"});
        LogFile::SetScreenEnabled(false);
        EXPECT_FALSE(systemLog.Writes(1));
        LogFile::SetScreenEnabled(true);
        LogFile::SetScreenOutput(nullptr);
        EXPECT_FALSE(systemLog.Writes(1));
        remotePrintLog.SetEnabled(false);
        EXPECT_FALSE(remotePrintLog.Writes(1));
        remotePrintLog.SetEnabled(true);
        EXPECT_TRUE(remotePrintLog.Writes(1));
    }
    EXPECT_FALSE(remotePrintLog.Writes(1));  // closed
    EXPECT_FALSE(FileExists(dir / "missing"));
}

// The global objects close themselves when the process ends without Close(): buffered lines
// reach the files. (The forked child shares this test's directory.)
TEST_F(LogFiles, ProcessEndClosesTheFiles) {
    GTEST_FLAG_SET(death_test_style, "fast");
    Keys keys = AllOn(1);
    keys["LogFileCache"] = "4096";
    WriteIni(keys);
    EXPECT_EXIT(
        {
            systemLog.Open(ini);
            systemLog.Log(1, "buffered line\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(Contains(ReadFile(systemPath), " buffered line\n"));
}

// A file that would grow past LogMaxMB moves to <name>.1, replacing the one before, and a new
// file takes the following writes: the two together hold the last dumps whole, none cut.
TEST_F(LogFiles, AFullFileMovesToDotOneAndANewOneStarts) {
    Keys keys = AllOn(1);
    keys["LogMaxMB"] = "1";
    WriteIni(keys);
    localPrintLog.Open(ini);
    const std::string data(4000, 'x');
    const auto dump = [&data](int number) {
        localPrintLog.HexDump(("dump " + std::to_string(number) + " ").c_str(), data.data(),
                              static_cast<int32_t>(data.size()));
    };
    const uintmax_t header = std::filesystem::file_size(localPath);
    dump(1000);  // a label as long as the others
    const uintmax_t size = std::filesystem::file_size(localPath) - header;
    const uintmax_t cap = 1 << 20;
    const int count = static_cast<int>(cap * 5 / 2 / size);  // the first file moves twice
    for (int number = 1001; number < 1000 + count; ++number) {
        dump(number);
    }
    localPrintLog.Close();
    const std::string older = ReadFile(localPath + ".1");
    EXPECT_LE(older.size(), cap);
    EXPECT_GT(older.size() + size, cap);
    EXPECT_LE(std::filesystem::file_size(localPath), cap);
    const int first = std::stoi(older.substr(older.find(" dump ") + 6));
    EXPECT_GT(first, 1000);
    const std::string both = older + ReadFile(localPath);
    for (int number = first; number < 1000 + count; ++number) {
        ASSERT_TRUE(Contains(both, " dump " + std::to_string(number) + " ")) << number;
    }
}

TEST_F(LogFiles, RemovingTheSinkWaitsForARunningCall) {
    WriteIni({});
    LogSession session(ini);
    std::latch entered(1), release(1);
    std::atomic<bool> sinkFinished{false};
    LogFile::SetScreenOutput([&](const char*) {
        entered.count_down();
        release.wait();
        sinkFinished = true;
    });
    std::thread writer([] { systemLog.Log(1, "slow\n"); });
    entered.wait();
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        LogFile::SetScreenOutput(nullptr);
        removed = true;
        EXPECT_TRUE(sinkFinished);
    });
    // The pause only gives a wrong implementation the chance to return early.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(removed);
    release.count_down();
    remover.join();
    writer.join();
}

// Many threads logging and dumping at once: every line and every dump reaches its file whole,
// the same records as one thread writes, and the sink gets every line.
TEST_F(LogFiles, LinesAndDumpsOfManyThreadsStayWhole) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 150;
    Keys keys = AllOn(1);
    keys["LogFileCache"] = "1024";
    WriteIni(keys);
    const auto writeRounds = [](int t) {
        for (int i = 0; i < kRounds; ++i) {
            const std::string line = "T" + std::to_string(t) + " line " + std::to_string(i) +
                                     std::string(static_cast<size_t>((t * 37 + i * 11) % 300), 'a');
            const std::string data(static_cast<size_t>((t * 13 + i * 7) % 50), char('A' + t));
            for (LogFile* log : {&systemLog, &localPrintLog}) {
                log->Log(1, "%s\n", line.c_str());
                log->HexDump(line.c_str(), data.data(), static_cast<int32_t>(data.size()));
            }
        }
    };
    // A file's records: from each time-stamped line to the next, time masked, sorted.
    const auto records = [](const std::string& path) {
        const std::string text = ReadFile(path);
        Lines out;
        size_t at = 0;
        while (at < text.size()) {
            size_t next = at;
            do {
                next = std::min(text.find('\n', next), text.size()) + 1;
            } while (next + 5 < text.size() && !(text[next + 2] == ':' && text[next + 5] == ':'));
            const std::string record = text.substr(at + 8, next - at - 8);
            if (!Contains(record, " created ")) {  // the header: its clock differs
                out.push_back(record);
            }
            at = next;
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    {
        LogSession session(ini);
        for (int t = 0; t < kThreads; ++t) {
            writeRounds(t);
        }
    }
    const Lines expectedSystem = records(systemPath);
    const Lines expectedLocal = records(localPath);
    std::atomic<int> shown{0};
    LogFile::SetScreenOutput([&shown](const char* text) { shown += text[0] == 'T'; });
    {
        LogSession session(ini);
        std::latch start(kThreads);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &start, &writeRounds] {
                start.arrive_and_wait();
                writeRounds(t);
            });
        }
    }
    EXPECT_TRUE(records(systemPath) == expectedSystem);
    EXPECT_TRUE(records(localPath) == expectedLocal);
    EXPECT_EQ(shown, kThreads * kRounds);
}

}  // namespace
}  // namespace pg::test
