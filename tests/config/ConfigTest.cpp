// The configuration: the profile file layer, the home, the general settings, the queue entries,
// the [Access] rules (what they read, what they report, whom they let do what).

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
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

namespace pg::test {
namespace {

using Op = AccessOperation;

sockaddr_storage Peer(const std::string& text) {
    sockaddr_storage peer{};
    peer.ss_family = AF_UNIX;  // "local"
    auto& in6 = reinterpret_cast<sockaddr_in6&>(peer);
    if (::inet_pton(AF_INET, text.c_str(), &reinterpret_cast<sockaddr_in&>(peer).sin_addr) == 1) {
        peer.ss_family = AF_INET;
    } else if (::inet_pton(AF_INET6, text.c_str(), &in6.sin6_addr) == 1) {
        peer.ss_family = AF_INET6;
    }
    return peer;
}

// A private directory that is the home and the current directory, with pgate.ini in it.
class ConfigTest : public ::testing::Test {
  protected:
    GeneralSettings Read() { return ReadGeneralSettings(file_, location_, {}); }

    AccessRules ReadAccess(const std::string& text) {
        WriteFile(path_, text);
        return AccessRules::Read(file_);
    }

    TempDir dir_{"pgconfig"};
    const std::string d = dir_.Path();
    std::string path_ = dir_ / "pgate.ini";
    ProfileFile file_{path_};
    ConfigLocation location_{d, d, "", "", "", "", false};
};

TEST_F(ConfigTest, ProfileReadingMatchesNamesWithoutCase) {
    WriteFile(path_,
              "top=1\r\n[General Configure]\r\n  HostFile =  \"/x y\"  \r\n"
              "plain=  a b  \n"  // bare LF lines read like CR LF ones
              "half=\"open\r\ninner=\"a\"b\"\r\nPLAIN=second of the key\r\n"
              "[Queues]\r\n; first=comment\r\n[GENERAL configure]\r\nonly=second section\r\n");
    const std::tuple<const char*, const char*, const char*, std::string> rows[] = {
        {"GENERAL CONFIGURE", "hostfile", "d", "/x y"},
        {"general configure", "PLAIN", "d", "a b"},  // the first of duplicate keys
        {"General Configure", "inner", "d", "a\"b"},
        {"General Configure", "only", "d", "d"},  // of duplicate sections the first
        {"Other", "plain", " dflt  ", " dflt"},   // the default loses trailing blanks
        {"", "top", "d", "d"},                    // before any section: no key
        {"Queues", "; first", "d", "d"}};
    for (const auto& [section, key, defaultText, expected] : rows) {
        EXPECT_EQ(file_.GetString(section, key, defaultText), expected) << section << "/" << key;
    }
}

TEST_F(ConfigTest, ProfileWritesChangeOnlyTheirOwnLines) {
    // before nullopt: no file; key nullptr: DeleteSection; value nullopt: delete the key.
    const std::tuple<std::optional<std::string>, const char*, const char*,
                     std::optional<std::string_view>, std::string>
        rows[] = {
            {std::nullopt, "Print Queues", "lp", "P,,,text", "[Print Queues]\r\nlp=P,,,text\r\n"},
            {"[Print Queues]\r\nlp=P\r\n", "lp", "FormFeedAtEndOfJob", "yes",
             "[Print Queues]\r\nlp=P\r\n[lp]\r\nFormFeedAtEndOfJob=yes\r\n"},
            // A new key goes after the section's last non-empty line, before its blank lines.
            {"[A]\r\nx=1\r\n; note\r\n\r\n\r\n[B]\r\n", "a", "n", "new",
             "[A]\r\nx=1\r\n; note\r\nn=new\r\n\r\n\r\n[B]\r\n"},
            // Replacing keeps every other byte and the key's spelling in the file.
            {"; hand\nstray=1\r\n[G]\nHostfile  =  old\n\tPort=515\r\nodd\n[L]\r\nx=1", "g",
             "HostFile", "/etc/hosts",
             "; hand\nstray=1\r\n[G]\nHostfile=/etc/hosts\r\n\tPort=515\r\nodd\n[L]\r\nx=1"},
            {"[Q]\nlp=P\nx=1\n", "Q", "LP", std::nullopt, "[Q]\nx=1\n"},
            {"[Q]\r\nlp=P\r\n\r\n[lp]\r\nFormFeedAtEndOfJob=yes\r\n; kept\r\n\r\n[L]\r\nx=1\r\n",
             "LP", nullptr, std::nullopt, "[Q]\r\nlp=P\r\n\r\n[L]\r\nx=1\r\n"},
            // Writes that could not be read back as written are refused.
            {"[A]\r\nk=v\r\n", "A", "k", "two\r\nlines", "[A]\r\nk=v\r\n"},
            {"[A]\r\nk=v\r\n", "A", "k=x", "v", "[A]\r\nk=v\r\n"},
            {"[A]\r\nk=v\r\n", "A", ";k", "v", "[A]\r\nk=v\r\n"},
            {"[A]\r\nk=v\r\n", "A\nB", "k", "v", "[A]\r\nk=v\r\n"},
        };
    for (const auto& [before, section, key, value, after] : rows) {
        std::remove(path_.c_str());
        if (before) {
            WriteFile(path_, *before);
        }
        EXPECT_EQ(
            key == nullptr ? file_.DeleteSection(section) : file_.WriteString(section, key, value),
            after != before);
        EXPECT_EQ(ReadFile(path_), after) << before.value_or("(no file)") << " / " << section;
    }
}

TEST_F(ConfigTest, ProfileRewritesKeepModeAndLinkAndLeaveNoTemporaryFile) {
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

TEST_F(ConfigTest, ProfileConcurrentWritesAreEachKept) {
    // Each write rewrites the whole file: unserialized writers would lose each other's keys.
    auto writer = [this](const std::string& prefix) {
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(file_.WriteString("S", prefix + std::to_string(i), "v"));
        }
    };
    { std::jthread first(writer, "a"), second(writer, "b"); }
    EXPECT_EQ(file_.GetSection("S").size(), 80u);
}

// PRESSGATE_HOME before XDG_CONFIG_HOME/pressgate (an absolute one only) before
// ~/.config/pressgate; --home before all; relative ones against the working directory.
TEST_F(ConfigTest, HomeFollowsTheOrderOfItsSources) {
    const std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(d);
    ::setenv("HOME", (dir_ / "user").c_str(), 1);
    const struct {
        const char *own, *xdg;                // PRESSGATE_HOME, XDG_CONFIG_HOME
        std::optional<std::string> override;  // --home
        std::string expected;                 // under dir
    } rows[] = {{"", "relative/xdg", std::nullopt, "user/.config/pressgate"},
                {"", "/XDG", std::nullopt, "xdg/pressgate"},
                {"rel/own", "/XDG", std::nullopt, "rel/own"},
                {"rel/own", "", "var/home", "var/home"}};
    for (const auto& row : rows) {
        ::setenv("PRESSGATE_HOME", row.own, 1);
        ::setenv("XDG_CONFIG_HOME", row.xdg[0] == '/' ? (dir_ / "xdg").c_str() : row.xdg, 1);
        const ConfigLocation location = ConfigLocation::FromProcess(row.override);
        EXPECT_EQ(location.home, dir_ / row.expected);
        EXPECT_TRUE(std::filesystem::is_directory(location.home));  // created with its parents
    }
    ::unsetenv("PRESSGATE_HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::current_path(previous);
}

// The default file reads back as its own values (not the absent-key ones), with every key of
// the table that belongs in it, and its directories made.
TEST_F(ConfigTest, GeneralDefaultFileReadsBackAsItsOwnValues) {
    WriteFile(location_.IniPath(), "old content that is replaced\r\n");
    ASSERT_TRUE(CreateDefaultConfiguration(location_));
    const GeneralSettings read = Read();
    for (const SettingKey& key : GeneralSettingKeys()) {
        const SettingKey::DefaultValue value = key.defaultName ? key.defaultFile : key.absent;
        EXPECT_EQ(SavedText(key, read),
                  key.form == SettingKey::Form::kYesNo
                      ? std::string(IsYes(ResolveDefault(value, location_)) ? "Y" : "N")
                      : ResolveDefault(value, location_))
            << key.key;
    }
    EXPECT_TRUE(std::filesystem::is_directory(d + "/spool") &&
                std::filesystem::is_directory(d + "/trace"));
    EXPECT_TRUE(AccessRules::Read(file_).Present());
}

// Yes is "yes" or "y" in any case; "unknown" counts as absent for the path keys only; integers
// take their leading digits and the port keeps 16 signed bits; negative delays count as none.
TEST_F(ConfigTest, GeneralYesUnknownPathsIntegersAndThePort) {
    WriteFile(path_,
              "[GENERAL CONFIGURE]\r\n"
              "ClearSpoolDirectory=yEs\r\nSuppressBanner= y \r\nActivateLPDOnStart=yess\r\n"
              "Hostfile=unknown\r\nSpoolBaseDirectory=Unknown\r\nPrintSystem=unknown\r\n"
              "LocalCmdTimeout=12abc\r\nRemoteCmdTimeout=abc\r\nLPDServerPort=40000\r\n"
              "CloseDelayMs=-5\r\n");
    const GeneralSettings read = Read();
    EXPECT_EQ(
        std::tuple(read.clearSpoolOnStart, read.suppressBanner, read.activateLPDOnStart,
                   read.spoolBaseDirectory, read.printSystem, read.localCmdTimeout,
                   read.remoteCmdTimeout, read.lpdServerPort, read.closeDelayMs, read.ListenPort()),
        std::tuple(true, true, false, "Unknown", "unknown", 12, 0, -25536, 0, 40000));
    EXPECT_EQ(read.hostFile,
              ReadGeneralSettings(ProfileFile(path_ + ".none"), location_, {}).hostFile);

    // Logging values the configuration check rejects read as absent, not by the leading-digit
    // rule (which would make "high" level 0 and silence every log).
    WriteFile(path_, "[Logging]\r\nLogLevel=high\r\nLogToScreen=maybe\r\nLogMaxMB=-3\r\n");
    const LoggingSettings absent = ReadLoggingSettings(ProfileFile(path_ + ".none"));
    const LoggingSettings logging = ReadLoggingSettings(file_);
    EXPECT_EQ(std::tuple(logging.logLevel, logging.logToScreen, logging.logMaxMB),
              std::tuple(absent.logLevel, absent.logToScreen, absent.logMaxMB));
}

TEST_F(ConfigTest, QueueEntriesAreReadByTheReadingRules) {
    // A nameless entry makes no queue; missing fields read as empty; the status keeps its commas.
    WriteFile(path_,
              "[Print Queues]\r\n"
              "local1 = P1 ,,, Print in local/LAN printer - P1 \r\n"
              "; skipped=Q,10.0.0.1,515,x\r\n"
              "remote1=Q, 10.1.2.3 , 515 ,Remote text\r\n"
              "plain=Q,hostname,515,text\r\n"
              " = P,,,nameless\r\n"
              "two=Q,1.2.3.4\r\n"
              "commas=P,,,one, two, three\r\n"
              "\r\n"
              "[LOCAL1]\r\nFormFeedAtEndOfJob=YES\r\n"
              "[remote1]\r\nformfeedatendofjob=y\r\n");
    std::vector<std::string> read;  // "name|destination|host|port|R or L|status|ff or -"
    for (const QueueEntry& q : ReadQueueEntries(file_)) {
        read.push_back(q.name + "|" + q.destination + "|" + q.remoteHost + "|" +
                       std::to_string(q.remotePort) + "|" + (q.isRemote ? "R" : "L") + "|" +
                       q.statusText + "|" + (q.formFeedAtEndOfJob ? "ff" : "-"));
    }
    EXPECT_EQ(read, (std::vector<std::string>{
                        "local1|P1||0|L|Print in local/LAN printer - P1|ff",
                        "remote1|Q| 10.1.2.3 |515|R|Remote text|ff",  // the host as written
                        "plain|Q||0|L|text|-",  // no dot: a local queue, host and port dropped
                        "two|Q|1.2.3.4|0|R||-", "commas|P||0|L|one, two, three|-"}));
}

TEST_F(ConfigTest, AccessRulesReadInOrderAndProblemsNameTheirLines) {
    const AccessRules rules = ReadAccess(
        "[Logging]\r\nLogLevel=1\r\n[Access]\r\n"
        "; a comment\r\n"
        "Rule1 = ALLOW Status 10.1.2.3/8\r\n"          // line 5: host bits dropped
        "rule7=deny print-waiting [fd00::1]/8 Lp\r\n"  // any key starting with Rule
        "Rule2=allow all ::ffff:192.168.0.0/112\r\n"   // mapped: an IPv4 network
        "Rule3=permit submit any\r\n"                  // line 8
        "Rule5=allow submit 10.0.0.0/33\r\n"           // line 9
        "Rule6=allow submit\r\n"                       // line 10
        "Other=allow submit any\r\n"                   // line 11
        "not a key\r\n"                                // line 12
        "[Next]\r\nRule9=deny all any\r\n");
    std::string read;  // the rules, then the problems' lines
    for (const AccessRule& rule : rules.Rules()) {
        read += rule.Text() + "|";
    }
    for (const auto& problem : rules.Problems()) {
        read += std::to_string(problem.line) + " ";
    }
    EXPECT_EQ(read,
              "allow status 10.0.0.0/8|deny print-waiting fd00::/8 Lp|allow all "
              "192.168.0.0/16|8 9 10 11 12 ");
}

TEST_F(ConfigTest, AccessWhomTheRulesLetDoWhat) {
    // The default rules serve the local networks only.
    const AccessRules rules = ReadAccess(AccessRules::DefaultSectionText());
    EXPECT_TRUE(rules.Problems().empty());
    const std::tuple<std::string, bool, bool> rows[] = {
        // peer, may submit, operator
        {"127.200.0.1", true, true},  {"::1", true, true},
        {"local", true, true},        {"172.31.255.255", true, false},
        {"172.32.0.1", false, false}, {"fd12::3", true, false},
        {"fe00::1", false, false},    {"::ffff:10.0.0.1", true, false},
    };
    for (const auto& [peer, allowed, operatorStanding] : rows) {
        EXPECT_EQ(rules.Allows(Op::kSubmit, Peer(peer), "lp"), allowed) << peer;
        EXPECT_EQ(rules.IsOperator(Peer(peer), "lp"), operatorStanding) << peer;
    }
    EXPECT_FALSE(ReadAccess("[Logging]\r\n").Present());

    // An operator rule answers for operator standing only.
    EXPECT_FALSE(ReadAccess("[Access]\r\nRule1=allow operator any\r\nRule2=deny all any\r\n")
                     .Allows(Op::kRemove, Peer("10.9.1.1"), "lp"));
}

}  // namespace
}  // namespace pg::test
