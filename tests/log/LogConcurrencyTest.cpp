// Many threads logging and dumping at once: every line and every dump reaches its file whole.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <latch>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "log/cLogFile.h"
#include "tests/log/LogTestSupport.h"

namespace pg::test {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 150;

std::string Payload(int t, int i) {
    return std::string(static_cast<size_t>((t * 37 + i * 11) % 300),
                       static_cast<char>('a' + (t + i) % 26));
}

std::string Line(int t, int i) {
    char head[32];
    std::snprintf(head, sizeof head, "T%02d line %04d ", t, i);
    return head + Payload(t, i);
}

std::string DumpData(int t, int i) {
    std::string data(static_cast<size_t>((t * 13 + i * 7) % 50), '\0');
    for (size_t k = 0; k < data.size(); ++k) {
        data[k] = static_cast<char>((t * 31 + i + static_cast<int>(k) * 5) & 0xFF);
    }
    return data;
}

void WriteRound(cLogFile& log, int t, int i) {
    log.Log(1, "%s\n", Line(t, i).c_str());
    char label[32];
    std::snprintf(label, sizeof label, "T%02d dump %04d", t, i);
    const std::string data = DumpData(t, i);
    log.HexDump(label, data.data(), static_cast<int32_t>(data.size()));
}

struct Parsed {
    std::set<std::pair<int, int>> lines;
    std::set<std::pair<int, int>> dumps;
};

// Reads a file the threads wrote: the header lines, then only whole lines and whole dumps of
// the threads, then the closing line. Each line and dump must be the one its thread wrote.
void ParseLog(const std::string& path, size_t headerLines, Parsed& parsed) {
    static const std::regex lineRe(R"(\d\d:\d\d:\d\d (T(\d\d) line (\d{4}) [a-z]*))");
    static const std::regex dumpRe(
        R"(\d\d:\d\d:\d\d  T(\d\d) dump (\d{4})  length\((\d+)\) {131})");
    std::vector<std::string> lines;
    const std::string text = ReadFile(path);
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        EXPECT_NE(end, std::string::npos) << "unterminated last line in " << path;
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_GT(lines.size(), headerLines) << path << " is too short";
    EXPECT_TRUE(lines.back().ends_with(" LogFile closed ***")) << lines.back();
    for (size_t n = headerLines; n + 1 < lines.size();) {
        std::smatch m;
        if (std::regex_match(lines[n], m, lineRe)) {
            const int t = std::stoi(m[2]), i = std::stoi(m[3]);
            EXPECT_EQ(m[1].str(), Line(t, i));
            EXPECT_TRUE(parsed.lines.emplace(t, i).second) << "twice: " << lines[n];
            ++n;
        } else if (std::regex_match(lines[n], m, dumpRe)) {
            const int t = std::stoi(m[1]), i = std::stoi(m[2]);
            const std::string data = DumpData(t, i);
            ASSERT_EQ(std::stoul(m[3]), data.size()) << lines[n];
            const size_t rows = (data.size() + 15) / 16;
            ASSERT_LT(n + rows + 1, lines.size());
            for (size_t r = 0; r < rows; ++r) {
                ASSERT_EQ(lines[n + 1 + r], DumpRow(data.substr(16 * r, 16))) << lines[n];
            }
            ASSERT_EQ(lines[n + 1 + rows], "") << lines[n];
            EXPECT_TRUE(parsed.dumps.emplace(t, i).second) << "twice: " << lines[n];
            n += rows + 2;
        } else {
            ADD_FAILURE() << "line " << n << " of " << path << " is torn: " << lines[n];
            break;
        }
    }
}

using LogConcurrency = LogTest;

TEST_F(LogConcurrency, LinesAndDumpsOfManyThreadsStayWhole) {
    WriteIniAllOn(1, 1024);
    std::mutex orderMutex;
    std::vector<std::vector<int>> screenOrder(kThreads);
    cLogFile::SetScreenOutput([&](const char* text) {
        int t = -1, i = -1;
        if (std::sscanf(text, "T%d line %d", &t, &i) == 2 && t >= 0 && t < kThreads) {
            EXPECT_EQ(text, Line(t, i).substr(0, 255));
            std::lock_guard<std::mutex> lock(orderMutex);
            screenOrder[static_cast<size_t>(t)].push_back(i);
        }
    });
    {
        LogSession session(ini);
        std::latch start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &start] {
                start.arrive_and_wait();
                for (int i = 0; i < kRounds; ++i) {
                    WriteRound(systemLog, t, i);
                    WriteRound(localPrintLog, t, i);
                    WriteRound(remotePrintLog, t, i);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    cLogFile::SetScreenOutput(nullptr);

    for (const auto& [path, header] :
         {std::pair{systemPath, 3u}, std::pair{localPath, 2u}, std::pair{remotePath, 2u}}) {
        Parsed parsed;
        ParseLog(path, header, parsed);
        EXPECT_EQ(parsed.lines.size(), size_t{kThreads * kRounds}) << path;
        EXPECT_EQ(parsed.dumps.size(), size_t{kThreads * kRounds}) << path;
    }
    std::vector<int> inOrder(kRounds);
    for (int i = 0; i < kRounds; ++i) {
        inOrder[static_cast<size_t>(i)] = i;
    }
    for (const std::vector<int>& order : screenOrder) {
        EXPECT_EQ(order, inOrder);
    }
}

// The dialog's switches and the window's sink change while threads write.
TEST_F(LogConcurrency, SwitchesChangeWhileThreadsWrite) {
    WriteIniAllOn(1, 0);
    std::atomic<int> sinkCalls{0};
    {
        LogSession session(ini);
        std::atomic<int> running{kThreads};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &running] {
                for (int i = 0; i < kRounds; ++i) {
                    WriteRound(systemLog, t, i);
                    WriteRound(localPrintLog, t, i);
                }
                --running;
            });
        }
        bool on = false;
        while (running > 0) {
            on = !on;
            systemLog.SetEnabled(on);
            localPrintLog.SetEnabled(!on);
            cLogFile::SetScreenEnabled(!on);
            if (on) {
                cLogFile::SetScreenOutput([&sinkCalls](const char*) { ++sinkCalls; });
            } else {
                cLogFile::SetScreenOutput(nullptr);
            }
            (void)systemLog.Enabled();
            (void)cLogFile::ScreenEnabled();
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        systemLog.SetEnabled(true);
        localPrintLog.SetEnabled(true);
    }
    cLogFile::SetScreenOutput(nullptr);
    Parsed system, local;
    ParseLog(systemPath, 3, system);
    ParseLog(localPath, 2, local);
}

}  // namespace
}  // namespace pg::test
