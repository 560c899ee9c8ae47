// The configuration: the private-profile file layer, the home and its search, the general
// settings with the default file, and the queue entries.

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/AccessRules.h"
#include "config/ConfigLocation.h"
#include "config/GeneralSettings.h"
#include "config/LoggingSettings.h"
#include "config/ProfileFile.h"
#include "config/QueueEntry.h"
#include "config/SettingKey.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Every general setting on one line, yes/no flags as Y/N in field order, so a whole reading is
// one comparison.
std::string Describe(const GeneralSettings& s) {
    std::string flags;
    for (bool flag : {s.clearSpoolOnStart, s.testPrintManager, s.enablePrintStatusControl,
                      s.suppressBanner, s.minimizeOnStartup, s.activateLPDOnStart}) {
        flags += flag ? 'Y' : 'N';
    }
    return s.lpdInstallDirectory + "|" + s.hostFile + "|" + s.spoolBaseDirectory + "|" +
           std::to_string(s.localCmdTimeout) + "|" + std::to_string(s.remoteCmdTimeout) + "|" +
           std::to_string(s.lpdServerPort) + "|" + flags + "|" + s.printSystem + "|" +
           std::to_string(s.closeDelayMs) + "|" + std::to_string(s.acceptDelayMs) + "|" +
           std::to_string(s.forwardChunkDelayMs);
}

// Queues as "name|destination|host|port|R or L|status|ff or -".
std::vector<std::string> Describe(const std::vector<QueueEntry>& queues) {
    std::vector<std::string> out;
    for (const QueueEntry& q : queues) {
        out.push_back(q.name + "|" + q.destination + "|" + q.remoteHost + "|" +
                      std::to_string(q.remotePort) + "|" + (q.isRemote ? "R" : "L") + "|" +
                      q.statusText + "|" + (q.formFeedAtEndOfJob ? "ff" : "-"));
    }
    return out;
}

// A private directory that is the home and the current directory, with pgate.ini in it.
class ConfigTest : public ::testing::Test {
  protected:
    void WriteGeneral(const std::string& lines) {
        WriteFile(path_, "[GENERAL CONFIGURE]\r\n" + lines);
    }
    GeneralSettings Read() { return ReadGeneralSettings(file_, location_, hooks_); }
    std::vector<std::string> ReadQueues(const std::string& text) {
        WriteFile(path_, text);
        return Describe(ReadQueueEntries(file_));
    }

    TempDir dir_{"pgconfig"};
    const std::string d = dir_.Path();
    std::string path_ = dir_ / "pgate.ini";
    ProfileFile file_{path_};
    ConfigLocation location_{d, d, "", "", "", "", false};
    std::vector<std::string> events_;
    SettingsReadHooks hooks_{
        [this](const std::string& line) { events_.push_back(line); },
        [this](const std::string& spool) { events_.push_back("spoolBaseKnown " + spool); },
        [this] { events_.push_back("clearSpool"); },
        nullptr,
    };
};

using ProfileFileTest = ConfigTest;
using GeneralSettingsTest = ConfigTest;
using QueueEntryTest = ConfigTest;

TEST_F(ProfileFileTest, ReadingMatchesNamesWithoutCase) {
    WriteFile(path_,
              "top=1\r\n[General Configure]\r\n  HostFile =  \"/x y\"  \r\n"
              "plain=  a b  \n"  // bare LF lines read like CR LF ones
              "half=\"open\r\ninner=\"a\"b\"\r\nPLAIN=second of the key\r\n"
              "[Queues]\r\n; first=comment\r\n  lp = P,,,text  \r\n\r\n"
              "bare line\r\n   \r\n[GENERAL configure]\r\nonly=second section\r\n");
    struct Row {
        const char* section;
        const char* key;
        std::string defaultText;
        std::string expected;
    } rows[] = {{"GENERAL CONFIGURE", "hostfile", "d", "/x y"},
                {"general configure", "PLAIN", "d", "a b"},  // the first of duplicate keys
                {"General Configure", "half", "d", "\"open"},
                {"General Configure", "inner", "d", "a\"b"},
                {"General Configure", "only", "d", "d"},  // of duplicate sections the first
                {"General Configure", "missing", "dflt", "dflt"},
                {"Other", "plain", " dflt  ", " dflt"},  // the default loses trailing blanks
                {"", "top", "d", "d"},                   // before any section: no key
                {"Queues", "; first", "d", "d"},
                {"Queues", "bare line", "d", "d"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.section) + "/" + row.key);
        EXPECT_EQ(file_.GetString(row.section, row.key, row.defaultText), row.expected);
    }
    // Comments and lines without "=" are no keys but lines of their section.
    EXPECT_EQ(file_.GetSection("QUEUES"),
              (std::vector<std::string>{"; first=comment", "lp = P,,,text", "bare line"}));
    EXPECT_TRUE(ProfileFile(dir_ / "absent.ini").GetSection("Queues").empty());
}

TEST_F(ProfileFileTest, IntegersComeFromLeadingDigits) {
    // Present but without digits gives 0, not the default.
    const std::pair<const char*, int> rows[] = {
        {"12abc", 12},  {"abc", 0},  {"-7x", -7}, {" 42 ", 42},
        {"\"17\"", 17}, {"0x10", 0}, {"- 3", 0},  {"99999999999", INT_MAX}};
    std::string text = "[N]\r\n";
    for (size_t i = 0; i < std::size(rows); ++i) {
        text += "k" + std::to_string(i) + "=" + rows[i].first + "\r\n";
    }
    WriteFile(path_, text);
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].first);
        EXPECT_EQ(file_.GetInt("n", "K" + std::to_string(i), 9), rows[i].second);
    }
    EXPECT_EQ(file_.GetInt("N", "absent", 9), 9);
}

TEST_F(ProfileFileTest, WritesChangeOnlyTheirOwnLines) {
    // key nullptr: DeleteSection; value nullopt: delete the key.
    struct Row {
        std::optional<std::string> before;  // nullopt: no file
        const char* section;
        const char* key;
        std::optional<std::string_view> value;
        std::string after;
    } rows[] = {
        {std::nullopt, "Print Queues", "lp", "P,,,text", "[Print Queues]\r\nlp=P,,,text\r\n"},
        // A byte order mark does not hide the first header.
        {"\xEF\xBB\xBF[A]\r\nk=1\r\n", "A", "k", "2", "\xEF\xBB\xBF[A]\r\nk=2\r\n"},
        {"[Print Queues]\r\nlp=P\r\n", "lp", "FormFeedAtEndOfJob", "yes",
         "[Print Queues]\r\nlp=P\r\n[lp]\r\nFormFeedAtEndOfJob=yes\r\n"},
        // A new key goes after the section's last non-empty line, before its blank lines.
        {"[A]\r\nx=1\r\n; note\r\n\r\n\r\n[B]\r\n", "a", "n", "new",
         "[A]\r\nx=1\r\n; note\r\nn=new\r\n\r\n\r\n[B]\r\n"},
        {"[Logging]\r\nLogLevel=1", "Logging", "LogToScreen", "Y",
         "[Logging]\r\nLogLevel=1\r\nLogToScreen=Y\r\n"},
        // Replacing keeps every other byte and the key's spelling in the file.
        {"; hand\nstray=1\r\n[G]\nHostfile  =  old\n\tPort=515\r\nodd\n[L]\r\nx=1", "g", "HostFile",
         "/etc/hosts",
         "; hand\nstray=1\r\n[G]\nHostfile=/etc/hosts\r\n\tPort=515\r\nodd\n[L]\r\nx=1"},
        {"[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", "a", "K", "9",
         "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n"},
        {"[Q]\nlp=P\nx=1\n", "Q", "LP", std::nullopt, "[Q]\nx=1\n"},
        {"[Q]\r\nlp=P\r\n\r\n[lp]\r\nFormFeedAtEndOfJob=yes\r\n; kept\r\n\r\n[L]\r\nx=1\r\n", "LP",
         nullptr, std::nullopt, "[Q]\r\nlp=P\r\n\r\n[L]\r\nx=1\r\n"},
        {"[A]\r\nk=1\r\n[Logging]\r\nLogLevel=1\r\n", "logging", nullptr, std::nullopt,
         "[A]\r\nk=1\r\n"},
        // Deleting what is not there changes nothing.
        {"[A]\r\nk=1\r\n", "A", "absent", std::nullopt, "[A]\r\nk=1\r\n"},
        {"[A]\r\nk=1\r\n", "Absent", nullptr, std::nullopt, "[A]\r\nk=1\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before.value_or("(no file)") + " / " + row.section);
        std::remove(path_.c_str());
        if (row.before) {
            WriteFile(path_, *row.before);
        }
        EXPECT_TRUE(row.key == nullptr ? file_.DeleteSection(row.section)
                                       : file_.WriteString(row.section, row.key, row.value));
        EXPECT_EQ(ReadFile(path_), row.after);
    }
}

TEST_F(ProfileFileTest, WritesThatCouldNotBeReadBackAreRefused) {
    WriteFile(path_, "[A]\r\nk=v\r\n");
    const std::vector<std::string> rows[] = {
        {"A", "k", "two\r\nlines"}, {"A", "k=x", "v"}, {"A", ";k", "v"}, {"A\nB", "k", "v"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0] + "/" + row[1] + "/" + row[2]);
        EXPECT_FALSE(file_.WriteString(row[0], row[1], row[2]));
    }
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=v\r\n");
    EXPECT_FALSE(ProfileFile(dir_ / "no/such/dir/pgate.ini").WriteString("A", "k", "v"));
}

TEST_F(ProfileFileTest, RewritesKeepModeAndLinkAndLeaveNoTemporaryFile) {
    namespace fs = std::filesystem;
    const std::string target = dir_ / "real.ini";
    WriteFile(target, "[A]\r\nk=v\r\n");
    fs::permissions(target, fs::perms(0640));
    fs::create_symlink(target, path_);
    ASSERT_TRUE(file_.WriteString("A", "k", "w") && file_.WriteString("A", "new", "x"));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadFile(target), "[A]\r\nk=w\r\nnew=x\r\n");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), 2);
}

TEST_F(ProfileFileTest, ConcurrentWritesAreEachKept) {
    // Each write rewrites the whole file: unserialized writers would lose each other's keys.
    constexpr int kWrites = 40;
    auto writer = [this](const std::string& prefix) {
        for (int i = 0; i < kWrites; ++i) {
            ASSERT_TRUE(file_.WriteString("S", prefix + std::to_string(i), "v"));
        }
    };
    std::thread first(writer, "a");
    std::thread second(writer, "b");
    first.join();
    second.join();
    EXPECT_EQ(file_.GetSection("S").size(), 2u * kWrites);
}

using OptText = std::optional<std::string>;

// Sets (or, given nullopt, unsets) one environment variable for the scope.
struct ScopedEnv {
    ScopedEnv(const char* key, const OptText& value) : name(key) {
        if (const char* now = std::getenv(name)) {
            old = now;
        }
        Set(value);
    }
    ~ScopedEnv() { Set(old); }
    void Set(const OptText& value) {
        value ? (void)::setenv(name, value->c_str(), 1) : (void)::unsetenv(name);
    }
    const char* name;
    OptText old;
};

TEST(ConfigLocationTest, HomeFollowsTheOrderOfItsSources) {
    TempDir dir{"pgconfig"};
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    ScopedEnv home("HOME", dir / "user");
    ScopedEnv path("PATH", "/usr/bin:/bin");
    struct Row {
        OptText own;           // PRESSGATE_HOME
        OptText xdg;           // XDG_CONFIG_HOME
        OptText override;      // --home
        std::string expected;  // under dir
    } rows[] = {
        {std::nullopt, std::nullopt, std::nullopt, "user/.config/pressgate"},
        {std::nullopt, dir / "xdg", std::nullopt, "xdg/pressgate"},
        {dir / "own", dir / "xdg", std::nullopt, "own"},
        {dir / "own", dir / "xdg", dir / "override/deep", "override/deep"},
        {"", dir / "xdg", std::nullopt, "xdg/pressgate"},  // empty counts as unset
        {std::nullopt, "relative/xdg", std::nullopt, "user/.config/pressgate"},  // not valid
        {"rel/own", std::nullopt, "var/home", "var/home"}};  // relative: against the cwd
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        ScopedEnv own("PRESSGATE_HOME", row.own);
        ScopedEnv xdg("XDG_CONFIG_HOME", row.xdg);
        const ConfigLocation location = ConfigLocation::FromProcess(row.override);
        EXPECT_EQ(location.home, dir / row.expected);
        EXPECT_TRUE(std::filesystem::is_directory(location.home));  // created with its parents
        EXPECT_EQ(location.IniPath(), dir / row.expected + "/pgate.ini");
        EXPECT_EQ(location.currentDirectory, dir.Path());
        EXPECT_EQ(location.searchPath, "/usr/bin:/bin");
    }
    ASSERT_EQ(::chdir(previous), 0);
}

TEST(ConfigLocationTest, SearchLooksInTheCurrentDirectoryThePathAndTheHome) {
    TempDir dir{"pgconfig"};
    for (const char* name : {"cwd/sub", "home", "p1", "p2"}) {
        std::filesystem::create_directories(dir / name);
    }
    ConfigLocation location{dir / "home", dir / "cwd", dir / "p1" + ":" + dir / "p2", "", "",
                            "",           false};
    EXPECT_FALSE(location.FindConfigurationFile());
    for (const char* where : {"cwd", "p1", "p2", "home"}) {
        SCOPED_TRACE(where);
        const std::string file = dir / where + "/pgate.ini";
        WriteFile(file, "");
        EXPECT_TRUE(location.FindConfigurationFile());
        ASSERT_EQ(::unlink(file.c_str()), 0);
    }
    // Path entries are taken against the current directory; an empty one is that directory.
    WriteFile(dir / "cwd/sub/pgate.ini", "");
    location.searchPath = "sub";
    EXPECT_TRUE(location.FindConfigurationFile());
    // Upper case is another name on Linux, and a directory of the name is no file.
    WriteFile(dir / "cwd/PGATE.INI", "");
    std::filesystem::create_directory(dir / "p1/pgate.ini");
    location.searchPath = "::" + dir / "p1";
    EXPECT_FALSE(location.FindConfigurationFile());
}

// The default file reads back as its own values (not the absent-key ones), with every key of
// the table that belongs in it, and its directories made; without a home nothing is made.
TEST_F(GeneralSettingsTest, DefaultFileReadsBackAsItsOwnValues) {
    WriteFile(location_.IniPath(), "old content that is replaced\r\n");
    ASSERT_TRUE(CreateDefaultConfiguration(location_));
    const GeneralSettings read = Read();
    for (const SettingKey& key : GeneralSettingKeys()) {
        SCOPED_TRACE(key.key);
        const SettingKey::DefaultValue value = key.defaultName ? key.defaultFile : key.absent;
        EXPECT_EQ(SavedText(key, read),
                  key.form == SettingKey::Form::kYesNo
                      ? std::string(IsYes(ResolveDefault(value, location_)) ? "Y" : "N")
                      : ResolveDefault(value, location_));
    }
    EXPECT_TRUE(std::filesystem::is_directory(d + "/spool") &&
                std::filesystem::is_directory(d + "/trace"));
    EXPECT_TRUE(AccessRules::Read(file_).Present());
    location_.home = dir_ / "missing";
    std::filesystem::remove_all(d + "/spool");
    EXPECT_FALSE(CreateDefaultConfiguration(location_));
    EXPECT_FALSE(FileExists(dir_ / "missing/pgate.ini") || FileExists(d + "/spool"));
}

TEST_F(GeneralSettingsTest, YesIsYesOrYInAnyCaseForEveryYesNoKey) {
    const std::pair<const char*, bool> rows[] = {{"yEs", true},   {" y ", true}, {"1", false},
                                                 {"yess", false}, {"ye", false}, {"", false}};
    for (const auto& [text, yes] : rows) {
        SCOPED_TRACE(text);
        std::string lines;
        for (const char* key :
             {"ClearSpoolDirectory", "TestPrintManager", "EnablePrintStatusControl",
              "SuppressBanner", "MinimizeOnStartup", "ActivateLPDOnStart"}) {
            lines += std::string(key) + "=" + text + "\r\n";
        }
        WriteGeneral(lines);
        EXPECT_NE(Describe(Read()).find(yes ? "|YYYYYY|" : "|NNNNNN|"), std::string::npos);
    }
}

// "unknown" counts as absent for the path keys only; integers take their leading digits and
// the port keeps 16 signed bits; negative delays count as none.
TEST_F(GeneralSettingsTest, UnknownPathsIntegersAndThePort) {
    WriteGeneral(
        "LPDInstallDirectory=unknown\r\nHostfile=unknown\r\nSpoolBaseDirectory=unknown\r\n"
        "PrintSystem=unknown\r\nLocalCmdTimeout=12abc\r\nRemoteCmdTimeout=abc\r\n"
        "LPDServerPort=40000\r\nCloseDelayMs=-5\r\nAcceptDelayMs=0\r\nForwardChunkDelayMs=7ms\r\n");
    const GeneralSettings settings = Read();
    EXPECT_EQ(Describe(settings),
              d + "|/etc/hosts|" + d + "/spool|12|0|-25536|YYYNNN|unknown|0|0|7");
    EXPECT_EQ(settings.ListenPort(), 40000);
    WriteGeneral("SpoolBaseDirectory=Unknown\r\nLPDServerPort=32768\r\n");  // case counts
    EXPECT_EQ(Read().spoolBaseDirectory, "Unknown");
    EXPECT_EQ(Read().lpdServerPort, -32768);
}

// The spool area is known before ClearSpoolDirectory clears it, and only a yes clears it.
TEST_F(GeneralSettingsTest, HooksComeInReadingOrder) {
    for (const char* clear : {"y", "N"}) {
        events_.clear();
        WriteGeneral("SpoolBaseDirectory=/sp\r\nClearSpoolDirectory=" + std::string(clear) +
                     "\r\n");
        Read();
        const auto known = std::find(events_.begin(), events_.end(), "spoolBaseKnown /sp");
        const auto cleared = std::find(events_.begin(), events_.end(), "clearSpool");
        EXPECT_LT(known, cleared);
        EXPECT_EQ(cleared != events_.end(), *clear == 'y');
    }
}

TEST_F(GeneralSettingsTest, SavedKeysReadBack) {
    // printSystem is an extension key: never saved.
    const GeneralSettings changed{.lpdInstallDirectory = "/inst",
                                  .hostFile = "/h",
                                  .spoolBaseDirectory = "/sp",
                                  .localCmdTimeout = 7,
                                  .remoteCmdTimeout = -3,
                                  .lpdServerPort = -25536,
                                  .clearSpoolOnStart = false,
                                  .enablePrintStatusControl = false,
                                  .activateLPDOnStart = true,
                                  .suppressBanner = true,
                                  .printSystem = "devices:/x"};
    SaveGeneralSettings(file_, changed);
    // The round trip walks the key table, so a key added to it is covered here too.
    const GeneralSettings back = Read();
    for (const SettingKey& key : GeneralSettingKeys()) {
        SCOPED_TRACE(key.key);
        EXPECT_EQ(SavedText(key, back), key.saveRank > 0 ? SavedText(key, changed)
                                                         : ResolveDefault(key.absent, location_));
    }
    EXPECT_EQ(back.ListenPort(), 40000);
}

// The log facility and the Logging options dialog read and write [Logging] through one table:
// every field saved reads back as itself, and the keys of other sections stay.
TEST_F(GeneralSettingsTest, LoggingSettingsReadBackAsSaved) {
    WriteGeneral("LPDServerPort=516\r\n");
    const LoggingSettings changed{.logLevel = 3,
                                  .logFileCache = 7,
                                  .logToScreen = false,
                                  .systemDebugEnable = true,
                                  .localTraceEnable = true,
                                  .remoteTraceEnable = true,
                                  .systemTrace = "/s",
                                  .localPrintTrace = "/l",
                                  .remotePrintTrace = "/r",
                                  .logMaxMB = 5};
    SaveLoggingSettings(file_, changed);
    EXPECT_EQ(ReadLoggingSettings(file_), changed);
    EXPECT_EQ(Read().lpdServerPort, 516);

    // Values the configuration check rejects read as absent, not by the leading-digit rule
    // (which would make "high" level 0 and silence every log).
    WriteFile(file_.Path(), "[Logging]\r\nLogLevel=high\r\nLogToScreen=maybe\r\nLogMaxMB=-3\r\n");
    const LoggingSettings absent = ReadLoggingSettings(ProfileFile(file_.Path() + ".none"));
    const LoggingSettings read = ReadLoggingSettings(file_);
    EXPECT_EQ(read.logLevel, absent.logLevel);
    EXPECT_EQ(read.logToScreen, absent.logToScreen);
    EXPECT_EQ(read.logMaxMB, absent.logMaxMB);
}

TEST_F(QueueEntryTest, EntriesAreReadByTheReadingRules) {
    EXPECT_TRUE(ReadQueueEntries(file_).empty());
    EXPECT_TRUE(ReadQueues("[Logging]\r\nLogLevel=1\r\n").empty());
    // Lines without "=" and entries with an empty name make no queue; missing fields read as
    // empty; the status text keeps its own commas.
    EXPECT_EQ(ReadQueues("[Print Queues]\r\n"
                         "local1 = P1 ,,, Print in local/LAN printer - P1 \r\n"
                         "; skipped=Q,10.0.0.1,515,x\r\n"
                         "remote1=Q, 10.1.2.3 , 515 ,Remote text\r\n"
                         "plain=Q,hostname,515,text\r\n"
                         "no equals sign\r\n"
                         " = P,,,nameless\r\n"
                         "short=P\r\n"
                         "two=Q,1.2.3.4\r\n"
                         "commas=P,,,one, two, three\r\n"
                         "p2=Q,h.x,70000,t\r\np4=Q,h.x,port,t\r\n"
                         "\r\n"
                         "[LOCAL1]\r\nFormFeedAtEndOfJob=YES\r\n"
                         "[remote1]\r\nformfeedatendofjob=y\r\n"
                         "[plain]\r\nFormFeedAtEndOfJob=no\r\n"
                         "[short]\r\nFormFeedAtEndOfJob=1\r\n"),
              (std::vector<std::string>{
                  "local1|P1||0|L|Print in local/LAN printer - P1|ff",
                  "remote1|Q| 10.1.2.3 |515|R|Remote text|ff",  // the host as written
                  "plain|Q||0|L|text|-",  // no dot: a local queue, host and port dropped
                  "short|P||0|L||-", "two|Q|1.2.3.4|0|R||-", "commas|P||0|L|one, two, three|-",
                  "p2|Q|h.x|4464|R|t|-",  // 70000 in 16 bits
                  "p4|Q|h.x|0|R|t|-"}));
}

TEST_F(QueueEntryTest, EveryQueueOfALongSectionIsRead) {
    std::string lines = "[Print Queues]\r\n";
    for (int i = 0; i < 40; ++i) {
        lines +=
            "queue" + std::to_string(i) + "=printer,,,Print in local/LAN printer - printer\r\n";
    }
    const std::vector<std::string> got = ReadQueues(lines);
    ASSERT_EQ(got.size(), 40u);
    EXPECT_EQ(got.back().substr(0, 8), "queue39|");
}

TEST_F(QueueEntryTest, WrittenValuesReadBack) {
    // The added value keeps the queue's own status text; the updated one makes it from the
    // destination, and writes back a host that did not make the queue remote, without a port.
    const QueueEntry local{"lp", "P", "", 0, false, "my text", false};
    const QueueEntry remote{"rq", "Q", "printer.example", 40000, true, "ignored", false};
    const QueueEntry hostButLocal{"hl", "Q", "10.1.2.3", 515, false, "x", false};
    EXPECT_EQ(UpdatedEntryValue(hostButLocal), "Q,10.1.2.3,,Print in local/LAN printer - Q");
    ASSERT_TRUE(file_.WriteString("Print Queues", remote.name, UpdatedEntryValue(remote)));
    ASSERT_TRUE(file_.WriteString(remote.name, "FormFeedAtEndOfJob", "yes"));
    ASSERT_TRUE(file_.WriteString("Print Queues", local.name, AddedEntryValue(local)));
    ASSERT_TRUE(file_.WriteString("Print Queues", "added", AddedEntryValue(remote)));
    EXPECT_EQ(Describe(ReadQueueEntries(file_)),
              (std::vector<std::string>{
                  "rq|Q|printer.example|40000|R|Print in remote LPD printer - Q@printer.example|ff",
                  "lp|P||0|L|my text|-", "added|Q|printer.example|40000|R|ignored|-"}));
}

}  // namespace
}  // namespace pg
