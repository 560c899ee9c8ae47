// The three log files: headers and closing lines, the time prefix and the shared line-start
// flag, levels and switches, buffering, the hex dump layout byte for byte, the screen routing,
// and writes from many threads at once.

#include "log/LogFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <latch>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
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

// The text with its clock readings masked: the asctime date as "<DATE>", every HH:MM:SS as
// "TT:TT:TT". The day of month must be blank-padded ("Dec  4"), as asctime writes it.
std::string Masked(const std::string& text) {
    static const std::regex date(
        R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d{2}:\d{2}:\d{2} \d{4}\n)");
    static const std::regex time(R"(\d{2}:\d{2}:\d{2})");
    return std::regex_replace(std::regex_replace(text, date, "<DATE>\n"), time, "TT:TT:TT");
}

// Each test writes its own pgate.ini into its own directory and closes the three logs again,
// so no test sees another's files or switches.
class LogTest : public ::testing::Test {
  protected:
    void TearDown() override {
        remotePrintLog.Close();
        localPrintLog.Close();
        systemLog.Close();
        LogFile::SetScreenOutput(nullptr);
    }

    // [Logging] with these keys; absent keys take their defaults.
    void WriteIni(const Keys& keys) {
        std::string text = "[Logging]\r\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\r\n";
        }
        WriteFile(ini, text);
    }
    Keys AllOn(int level, int cache) const {
        return {{"LogLevel", std::to_string(level)}, {"LogFileCache", std::to_string(cache)},
                {"SystemDebugEnable", "Y"},          {"LocalTraceEnable", "Y"},
                {"RemoteTraceEnable", "Y"},          {"SystemTrace", systemPath},
                {"LocalPrintTrace", localPath},      {"RemotePrintTrace", remotePath}};
    }

    // Installs a sink that records every screen line.
    // Installs a sink that records every screen line, from none.
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

using LogFiles = LogTest;

TEST_F(LogFiles, HeadersAndClosingLinesOfEachKind) {
    for (int level : {1, 3}) {
        SCOPED_TRACE(level);
        WriteIni(AllOn(level, 1024));
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
    WriteIni(AllOn(1, 0));
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
    savedZone ? ::setenv("TZ", savedZone->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    const std::string text = ReadFile(systemPath);
    EXPECT_TRUE(dates.count(text.substr(text.find(" created ") + 9, 25))) << text;
    EXPECT_TRUE(times.count(text.substr(text.rfind(" now\n") - 8, 8))) << text;
}

TEST_F(LogFiles, TheLineStartFlagIsSharedAndSetByTheFormat) {
    Keys keys = AllOn(1, 0);
    keys["RemoteTraceEnable"] = "N";
    WriteIni(keys);
    LogSession session(ini);
    const size_t systemHeader = ReadFile(systemPath).size();
    const size_t localHeader = ReadFile(localPath).size();
    systemLog.Log(1, "abc");
    systemLog.Log(1, "def\n");
    systemLog.Log(1, "abc");
    localPrintLog.Log(1, "def\n");    // the flag is one for all files
    systemLog.Log(1, "%s", "one\n");  // the format decides, not the text
    systemLog.Log(1, "two%c", '\n');
    // Writes that reach no file leave the flag alone: a kind switched off, a level above
    // LogLevel, a kind whose file was not opened at start (switching it on opens none).
    systemLog.SetEnabled(false);
    systemLog.Log(1, "off\n");
    systemLog.HexDump("off dump", "x", 1);
    systemLog.SetEnabled(true);
    systemLog.Log(2, "y\n");
    remotePrintLog.SetEnabled(true);
    remotePrintLog.Log(1, "nowhere\n");
    systemLog.Log(1, "three\n");
    systemLog.Log(1, "four\n");
    EXPECT_EQ(Masked(ReadFile(systemPath).substr(systemHeader)),
              "TT:TT:TT abcdef\nTT:TT:TT abcTT:TT:TT one\ntwo\nthree\nTT:TT:TT four\n");
    EXPECT_EQ(ReadFile(localPath).substr(localHeader), "def\n");
    EXPECT_FALSE(FileExists(remotePath));
}

// Writes() tells whether anything would take a message: false as soon as neither the kind's
// file nor (systemLog) an installed screen sink would, so callers skip formatting.
TEST_F(LogFiles, WritesFollowsTheFileTheScreenAndTheSink) {
    Keys keys = AllOn(2, 0);
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
}

// Y opens the kind's default name in the working directory, and sends system lines to the
// screen (which also switches at run time); a value that is not yes or no reads as the default.
TEST_F(LogFiles, AYesValueOpensTheDefaultNameInTheWorkingDirectoryAndShowsTheScreen) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    for (const auto& [value, yes] : {std::pair{"Y", true}, {"N", false}}) {
        SCOPED_TRACE(value);
        WriteIni({{"SystemDebugEnable", value},
                  {"LocalTraceEnable", value},
                  {"RemoteTraceEnable", value},
                  {"LogToScreen", value}});
        CaptureScreen();
        {
            LogSession session(ini);
            EXPECT_EQ(LogFile::ScreenEnabled(), yes);
            systemLog.Log(1, "as read\n");
            LogFile::SetScreenEnabled(!yes);
            systemLog.Log(1, "switched\n");
            EXPECT_EQ(TakeScreenLines(), Lines{yes ? "as read" : "switched"});
        }
        for (const auto& [name, title] : {std::pair{"system.log", "System"},
                                          {"local.log", "Local Print"},
                                          {"remote.log", "Remote Print"}}) {
            EXPECT_EQ(Contains(ReadFile(dir / name),
                               std::string(" *** ") + title + " LogFile '" + name + "' created "),
                      yes)
                << name;
            std::filesystem::remove(dir / name);
        }
    }
    std::filesystem::current_path(previous);
}

// The global objects close themselves when the process ends without Close(): buffered lines
// and the closing lines reach the files. (The forked child shares this test's directory.)
TEST_F(LogFiles, ProcessEndClosesTheFiles) {
    GTEST_FLAG_SET(death_test_style, "fast");
    WriteIni(AllOn(1, 1024));
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
        WriteIni(AllOn(level, 0));
        CaptureScreen();
        {
            LogSession session(ini);
            EXPECT_EQ(LogFile::ScreenEnabled(), level != 0);
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
            EXPECT_EQ(Contains(text, "  dump  length(2)"), level != 0) << path;
        }
        EXPECT_EQ(TakeScreenLines().empty(), level == 0);
    }
}

TEST_F(LogFiles, TheCacheSizeIsClampedAndTheFileLagsBehindByUpToOneBuffer) {
    const std::pair<std::optional<int>, off_t> rows[] = {
        {std::nullopt, 1024}, {0, 0}, {1, 1}, {32767, 32767}, {32768, 1024}};
    const std::string line(100, 'x');  // 110 bytes with the time prefix and the line feed
    for (const auto& [configured, buffer] : rows) {
        SCOPED_TRACE(configured.value_or(-1000));
        Keys keys = AllOn(1, configured.value_or(0));
        if (!configured) {
            keys.erase("LogFileCache");
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
        while (buffer >= 1024 && std::filesystem::file_size(systemPath) == 0) {
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

// A file that would grow past LogMaxMB moves to <name>.1, replacing the one before, and a new
// file takes the following writes: the two together hold the last dumps whole, none cut.
TEST_F(LogFiles, AFullFileMovesToDotOneAndANewOneStarts) {
    Keys keys = AllOn(1, 0);
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
    const std::string both = older + ReadFile(localPath);
    EXPECT_LE(older.size(), cap);
    EXPECT_GT(older.size() + size, cap);
    EXPECT_LE(std::filesystem::file_size(localPath), cap);
    // The older file is the second one, which began with a dump; from that dump on every one
    // is there whole, up to the last.
    const int first = std::stoi(older.substr(older.find(" dump ") + 6));
    EXPECT_GT(first, 1000);
    const std::string closing = " *** Local Print LogFile closed ***\n";
    ASSERT_TRUE(both.ends_with(closing));
    EXPECT_EQ(both.size() - closing.size() - 8, (1000 + count - first) * size);
    EXPECT_TRUE(Contains(both, " dump " + std::to_string(999 + count) + " "));
}

// Rows are 131 characters of hex and printable text; a dump neither ends an open line nor
// starts one.
TEST_F(LogFiles, HexDumpRowsAreByteExact) {
    Keys keys = AllOn(1, 0);
    keys["SystemDebugEnable"] = keys["RemoteTraceEnable"] = "N";
    WriteIni(keys);
    localPrintLog.Open(ini);
    const auto dumped = [this](const auto& dump) {
        const size_t before = ReadFile(localPath).size();
        dump();
        return Masked(ReadFile(localPath).substr(before));
    };
    const std::string blankRow(131, ' ');
    const std::string hex16 =
        "   30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46   0123456789ABCDEF" +
        std::string(62, ' ') + "\n";
    struct Row {
        std::string data;
        std::string rows;
    } rows[] = {{"", ""},
                {"0123456789ABCDEFG",
                 hex16 + "   47" + std::string(48, ' ') + "G" + std::string(77, ' ') + "\n"},
                {std::string("\x00\x1F\x20\x7E\x7F\x80\xFF"
                             "a",
                             8),
                 "   00 1F 20 7E 7F 80 FF 61" + std::string(27, ' ') + ".. ~...a" +
                     std::string(70, ' ') + "\n"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.data.size());
        // The header line carries the blank row that the first byte flushes.
        EXPECT_EQ(dumped([&] {
                      localPrintLog.HexDump("Recv", row.data.data(),
                                            static_cast<int32_t>(row.data.size()));
                  }),
                  "TT:TT:TT  Recv  length(" + std::to_string(row.data.size()) + ")" + blankRow +
                      "\n" + row.rows + "\n");
    }
    EXPECT_EQ(dumped([] { localPrintLog.HexDump("Recv", nullptr, 5); }),
              "TT:TT:TT  Recv  length(5)Data = NULL\n\n");
    EXPECT_EQ(dumped([] {
                  localPrintLog.Log(1, "abc");
                  localPrintLog.HexDump("Mid", "", 0);
                  localPrintLog.Log(1, "def\n");
                  localPrintLog.HexDump("End", "", 0);
                  localPrintLog.Log(1, "ghi\n");
              }),
              "TT:TT:TT abcTT:TT:TT  Mid  length(0)" + blankRow + "\n\ndef\n" +
                  "TT:TT:TT  End  length(0)" + blankRow + "\n\nTT:TT:TT ghi\n");
}

using LogScreen = LogTest;

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
            EXPECT_TRUE(LogFile::ScreenEnabled());  // LogToScreen defaults to yes
            systemLog.Log(1, "job %d done\n", 7);
            systemLog.Log(2, "too detailed\n");
            systemLog.HexDump("not shown", "x", 1);
            localPrintLog.Log(1, "local lines stay in their file\n");
            remotePrintLog.Log(1, "remote too\n");
            EXPECT_EQ(TakeScreenLines(), Lines{"job 7 done"});
        }
        EXPECT_FALSE(FileExists(dir / "missing"));
        EXPECT_TRUE(Contains(ReadFile(localPath), " local lines stay in their file\n"));
    }
}

TEST_F(LogScreen, MessagesAreCutTo255CharactersAndLoseOneLineFeed) {
    WriteIni(AllOn(1, 0));
    CaptureScreen();
    LogSession session(ini);
    const std::string a254(254, 'a'), b255(255, 'b'), c256(256, 'c');
    systemLog.Log(1, "%s\n", a254.c_str());
    systemLog.Log(1, "%s\n", b255.c_str());  // the line feed is the 256th character
    systemLog.Log(1, "%s\n", c256.c_str());
    systemLog.Log(1, "two\n\n");
    systemLog.Log(1, "none");
    EXPECT_EQ(TakeScreenLines(), (Lines{a254, b255, c256.substr(0, 255), "two\n", "none"}));
    EXPECT_TRUE(Contains(ReadFile(systemPath), c256 + "\n"));  // the file keeps it whole
}

TEST_F(LogScreen, RemovingTheSinkWaitsForARunningCall) {
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
    // The remover must still be waiting while the sink runs; the pause only gives a wrong
    // implementation the chance to return early.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(removed);
    release.count_down();
    remover.join();
    writer.join();
}

// Many threads logging and dumping at once: every line and every dump reaches its file whole.
constexpr int kThreads = 8;
constexpr int kRounds = 150;

std::string Line(int t, int i) {
    return "T" + std::to_string(t) + " line " + std::to_string(i) + " " +
           std::string(static_cast<size_t>((t * 37 + i * 11) % 300),
                       static_cast<char>('a' + (t + i) % 26));
}

void WriteRound(LogFile& log, int t, int i) {
    log.Log(1, "%s\n", Line(t, i).c_str());
    std::string data(static_cast<size_t>((t * 13 + i * 7) % 50), '\0');
    for (size_t k = 0; k < data.size(); ++k) {
        data[k] = static_cast<char>((t * 31 + i + static_cast<int>(k) * 5) & 0xFF);
    }
    const std::string label = "T" + std::to_string(t) + " dump " + std::to_string(i);
    log.HexDump(label.c_str(), data.data(), static_cast<int32_t>(data.size()));
}

// The file cut into records, each from a line that starts with the time of day up to the next
// such line, time masked and sorted, without the header and the closing line. A line or dump
// torn by another thread's write breaks its record.
Lines Records(const std::string& path, size_t headerRecords) {
    const std::string text = ReadFile(path);
    const auto startsRecord = [&text](size_t at) {
        return at + 8 < text.size() && text[at + 2] == ':' && text[at + 5] == ':' &&
               std::isdigit(static_cast<unsigned char>(text[at]));
    };
    Lines records;
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

TEST_F(LogTest, LinesAndDumpsOfManyThreadsStayWhole) {
    WriteIni(AllOn(1, 1024));
    const auto writeRounds = [](int t) {
        for (int i = 0; i < kRounds; ++i) {
            for (LogFile* log : {&systemLog, &localPrintLog, &remotePrintLog}) {
                WriteRound(*log, t, i);
            }
        }
    };
    // What the threads write, written by one thread: the records to find again.
    {
        LogSession session(ini);
        for (int t = 0; t < kThreads; ++t) {
            writeRounds(t);
        }
    }
    const std::pair<std::string, size_t> files[] = {
        {systemPath, 2}, {localPath, 1}, {remotePath, 1}};
    std::vector<Lines> expected;
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
    LogFile::SetScreenOutput(sink);
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
            LogFile::SetScreenEnabled(LogFile::ScreenEnabled());
            LogFile::SetScreenOutput(sink);
        }
    }
    for (size_t k = 0; k < std::size(files); ++k) {
        EXPECT_TRUE(Records(files[k].first, files[k].second) == expected[k]) << files[k].first;
    }
    EXPECT_EQ(shown, kThreads * kRounds);
}

}  // namespace
}  // namespace pg::test
