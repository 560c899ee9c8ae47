// Many threads logging and dumping at once: every line and every dump reaches its file whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <latch>
#include <thread>

#include "log/cLogFile.h"
#include "tests/log/LogTestSupport.h"

namespace pg::test {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 150;

std::string Line(int t, int i) {
    char head[32];
    std::snprintf(head, sizeof head, "T%02d line %04d ", t, i);
    return head + std::string(static_cast<size_t>((t * 37 + i * 11) % 300),
                              static_cast<char>('a' + (t + i) % 26));
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

// The file cut into records, each from a line that starts with the time of day up to the next
// such line, time masked and sorted, without the header and the closing line. A line or dump
// torn by another thread's write breaks its record.
std::vector<std::string> Records(const std::string& path, size_t headerRecords) {
    const std::string text = ReadFile(path);
    const auto startsRecord = [&text](size_t at) {
        return at + 8 < text.size() && text[at + 2] == ':' && text[at + 5] == ':' &&
               std::isdigit(static_cast<unsigned char>(text[at]));
    };
    std::vector<std::string> records;
    for (size_t at = 0, next; at < text.size(); at = next) {
        next = at;
        do {
            const size_t lf = text.find('\n', next);
            next = lf == std::string::npos ? text.size() : lf + 1;
        } while (next < text.size() && !startsRecord(next));
        records.push_back("TT:TT:TT" + text.substr(at + 8, next - at - 8));
    }
    EXPECT_TRUE(records.size() > headerRecords && records.back().ends_with(" closed ***\n"));
    records.erase(records.begin(), records.begin() + static_cast<ptrdiff_t>(headerRecords));
    records.pop_back();
    std::sort(records.begin(), records.end());
    return records;
}

using LogConcurrency = LogTest;

TEST_F(LogConcurrency, LinesAndDumpsOfManyThreadsStayWhole) {
    WriteIniAllOn(1, 1024);
    const auto writeRounds = [](int t) {
        for (int i = 0; i < kRounds; ++i) {
            for (cLogFile* log : {&systemLog, &localPrintLog, &remotePrintLog}) {
                WriteRound(*log, t, i);
            }
        }
    };
    // What one thread writes, the records to find again.
    {
        LogSession session(ini);
        for (int t = 0; t < kThreads; ++t) {
            writeRounds(t);
        }
    }
    const std::pair<std::string, size_t> files[] = {
        {systemPath, 2}, {localPath, 1}, {remotePath, 1}};
    std::vector<std::vector<std::string>> expected;
    for (const auto& [path, header] : files) {
        expected.push_back(Records(path, header));
        ASSERT_EQ(expected.back().size(), 2u * kThreads * kRounds);
    }

    // The window's sink gets every line, cut as on the screen.
    std::atomic<int> shown{0};
    const auto sink = [&shown](const char* text) {
        int t = -1, i = -1;
        if (std::sscanf(text, "T%d line %d", &t, &i) == 2) {
            EXPECT_EQ(text, Line(t, i).substr(0, 255));
            ++shown;
        }
    };
    cLogFile::SetScreenOutput(sink);
    {
        LogSession session(ini);
        std::atomic<int> running{kThreads};
        std::latch start(kThreads);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &running, &start, &writeRounds] {
                start.arrive_and_wait();
                writeRounds(t);
                --running;
            });
        }
        // What the options dialog and the window do meanwhile, without changing the outcome.
        while (running > 0) {
            systemLog.SetEnabled(systemLog.Enabled());
            cLogFile::SetScreenEnabled(cLogFile::ScreenEnabled());
            cLogFile::SetScreenOutput(sink);
        }
    }
    cLogFile::SetScreenOutput(nullptr);
    for (size_t k = 0; k < std::size(files); ++k) {
        EXPECT_TRUE(Records(files[k].first, files[k].second) == expected[k]) << files[k].first;
    }
    EXPECT_EQ(shown, kThreads * kRounds);
}

}  // namespace
}  // namespace pg::test
