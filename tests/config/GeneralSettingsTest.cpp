#include "config/GeneralSettings.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/SettingKey.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Every field on one line, yes/no flags as Y/N in field order, so a whole reading is one
// comparison.
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

class GeneralSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir((dir_ / "home").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((dir_ / "cwd").c_str(), 0755), 0);
        location_.home = dir_ / "home";
        location_.currentDirectory = dir_ / "cwd";
    }

    void WriteGeneral(const std::string& lines) {
        WriteFile(location_.IniPath(), "[GENERAL CONFIGURE]\r\n" + lines);
    }

    GeneralSettings Read() { return ReadGeneralSettings(file_, location_, hooks_); }

    TempDir dir_{"pgconfig"};
    ConfigLocation location_;
    ProfileFile file_{dir_ / "home/pgate.ini"};
    std::vector<std::string> events_;
    SettingsReadHooks hooks_{
        [this](const std::string& line) { events_.push_back(line); },
        [this](const std::string& spool) { events_.push_back("spoolBaseKnown " + spool); },
        [this] { events_.push_back("clearSpool"); },
    };
};

TEST_F(GeneralSettingsTest, DefaultFileIsTheTwentySixLinesAndReadsBackAsItsOwnValues) {
    // A current directory ending in '/' gets no second one.
    for (const std::string& cwd : {dir_ / "cwd", dir_ / "cwd/"}) {
        SCOPED_TRACE(cwd);
        location_.currentDirectory = cwd;
        const std::string base = dir_ / "cwd/";
        WriteFile(location_.IniPath(), "old content that is replaced\r\n");
        ASSERT_TRUE(CreateDefaultConfiguration(location_));
        EXPECT_EQ(ReadFile(location_.IniPath()),
                  "[GENERAL CONFIGURE]\r\nLPDInstallDirectory=" + cwd +
                      "\r\nHostfile=/etc/hosts\r\nSpoolBaseDirectory=" + base +
                      "spool\r\nLocalCmdTimeout=100\r\nRemoteCmdTimeout=100\r\n"
                      "LPDServerPort=515\r\nClearSpoolDirectory=Y\r\nTestPrintManager=Y\r\n"
                      "EnablePrintStatusControl=Y\r\nSuppressBanner=N\r\nMinimizeOnStartup=N\r\n"
                      "ActivateLPDOnStart=N\r\n\r\n[Print Queues]\r\n\r\n[Logging]\r\n"
                      "LogLevel=1\r\nLogFileCache=0\r\nLogToScreen=Y\r\nSystemDebugEnable=N\r\n"
                      "LocalTraceEnable=N\r\nRemoteTraceEnable=N\r\nSystemTrace=" +
                      base + "trace/system.log\r\nLocalPrintTrace=" + base +
                      "trace/local.log\r\nRemotePrintTrace=" + base + "trace/remote.log\r\n");
        struct stat st {};
        EXPECT_TRUE(::stat((base + "spool").c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        EXPECT_TRUE(::stat((base + "trace").c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        // The file's values, not the absent-key ones (time-outs 100, not 20); "Hostfile" is
        // found as HostFile.
        EXPECT_EQ(Describe(Read()),
                  cwd + "|/etc/hosts|" + base + "spool|100|100|515|YYYNNN|cups|3000|100|100");
    }
}

TEST_F(GeneralSettingsTest, NoDefaultFileAndNoDirectoriesWithoutAHome) {
    location_.home = dir_ / "missing";
    EXPECT_FALSE(CreateDefaultConfiguration(location_));
    EXPECT_FALSE(FileExists(dir_ / "missing/pgate.ini"));
    EXPECT_FALSE(FileExists(dir_ / "cwd/spool"));
}

TEST_F(GeneralSettingsTest, MissingFileGivesTheAbsentKeyDefaults) {
    const std::string expected =
        dir_ / "cwd|/etc/hosts|" + dir_ / "cwd/spool|20|20|515|YYYNNN|cups|3000|100|100";
    EXPECT_EQ(Describe(Read()), expected);
    EXPECT_EQ(Describe(ReadGeneralSettings(file_, location_, SettingsReadHooks{})), expected);
}

TEST_F(GeneralSettingsTest, YesIsYesOrYInAnyCaseForEveryYesNoKey) {
    const std::pair<const char*, bool> rows[] = {
        {"yes", true}, {"y", true},  {"YES", true},   {"Y", true},   {"yEs", true},
        {" y ", true}, {"1", false}, {"true", false}, {"on", false}, {"yess", false},
        {"ye", false}, {"n", false}, {"", false}};
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

TEST_F(GeneralSettingsTest, TheWordUnknownCountsAsAbsentForThePathKeysOnly) {
    WriteGeneral(
        "LPDInstallDirectory=unknown\r\nHostfile=unknown\r\nSpoolBaseDirectory=unknown\r\n"
        "PrintSystem=unknown\r\n");
    GeneralSettings settings = Read();
    EXPECT_EQ(settings.lpdInstallDirectory, dir_ / "cwd");
    EXPECT_EQ(settings.hostFile, "/etc/hosts");
    EXPECT_EQ(settings.spoolBaseDirectory, dir_ / "cwd/spool");
    EXPECT_EQ(settings.printSystem, "unknown");
    WriteGeneral("SpoolBaseDirectory=Unknown\r\n");  // the comparison keeps case
    EXPECT_EQ(Read().spoolBaseDirectory, "Unknown");
}

TEST_F(GeneralSettingsTest, IntegersTakeLeadingDigitsAndThePortKeepsSixteenBits) {
    // Negative delays count as none.
    WriteGeneral(
        "LocalCmdTimeout=12abc\r\nRemoteCmdTimeout=abc\r\nLPDServerPort=40000\r\n"
        "CloseDelayMs=-5\r\nAcceptDelayMs=0\r\nForwardChunkDelayMs=7ms\r\n");
    const GeneralSettings settings = Read();
    EXPECT_EQ(Describe(settings),
              dir_ / "cwd|/etc/hosts|" + dir_ / "cwd/spool|12|0|-25536|YYYNNN|cups|0|0|7");
    EXPECT_EQ(settings.ListenPort(), 40000);
    const std::pair<const char*, int> ports[] = {
        {"32767", 32767}, {"32768", -32768}, {"65535", -1}, {"65536", 0}, {"-1", -1}};
    for (const auto& [text, port] : ports) {
        SCOPED_TRACE(text);
        WriteGeneral(std::string("LPDServerPort=") + text + "\r\n");
        EXPECT_EQ(Read().lpdServerPort, port);
    }
}

TEST_F(GeneralSettingsTest, LogLinesAndHooksComeInReadingOrder) {
    WriteGeneral(
        "LPDInstallDirectory=/opt/pg\r\nHostFile=/h\r\nSpoolBaseDirectory=/sp\r\n"
        "LocalCmdTimeout=5\r\nRemoteCmdTimeout=6\r\nLPDServerPort=515\r\n"
        "ClearSpoolDirectory=y\r\nTestPrintManager=n\r\nEnablePrintStatusControl=YES\r\n"
        "SuppressBanner=maybe\r\nMinimizeOnStartup=Y\r\nActivateLPDOnStart=no\r\n"
        "PrintSystem=devices:/dev/null\r\n");
    Read();
    EXPECT_EQ(
        events_,
        (std::vector<std::string>{
            "LPDInstallDirectory  is /opt/pg\n", "Hostfile is /h\n", "spoolBaseKnown /sp",
            "SpoolBaseDirectory  is /sp\n", "LocalCmdTimeout is 5 seconds\n",
            "RemoteCmdTimeout is 6 seconds\n", "LPDServerPort is 515\n", "clearSpool",
            "TestPrintManager before accepting jobs : False\n", "EnablePrintStatusControl = YES\n",
            "suppressBanner = maybe\n", "minimizeOnStartup : True\n",
            "activateLPDOnStart : False\n", "PrintSystem is devices:/dev/null\n",
            "CloseDelayMs is 3000\n", "AcceptDelayMs is 100\n", "ForwardChunkDelayMs is 100\n"}));
    // Absent yes/no keys log their default texts; no clearing when the key says no.
    events_.clear();
    WriteGeneral("ClearSpoolDirectory=N\r\n");
    Read();
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "clearSpool"), 0);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "EnablePrintStatusControl = Yes\n"), 1);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "suppressBanner = No\n"), 1);
}

TEST_F(GeneralSettingsTest, SavingWritesTheKeysInOrderAndReadsBack) {
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
    EXPECT_EQ(ReadFile(location_.IniPath()),
              "[GENERAL CONFIGURE]\r\n"
              "ClearSpoolDirectory=N\r\nTestPrintManager=Y\r\nEnablePrintStatusControl=N\r\n"
              "SuppressBanner=Y\r\nMinimizeOnStartup=N\r\nActivateLPDOnStart=Y\r\n"
              "LPDInstallDirectory=/inst\r\nSpoolBaseDirectory=/sp\r\nHostFile=/h\r\n"
              "LocalCmdTimeout=7\r\nRemoteCmdTimeout=-3\r\nLPDServerPort=-25536\r\n");
    // The round trip walks the key table, so a key added to it is covered here too.
    const GeneralSettings back = Read();
    for (const SettingKey& key : GeneralSettingKeys()) {
        SCOPED_TRACE(key.key);
        EXPECT_EQ(SavedText(key, back), key.saveRank > 0 ? SavedText(key, changed)
                                                         : ResolveDefault(key.absent, location_));
    }
    EXPECT_EQ(back.ListenPort(), 40000);
}

}  // namespace
}  // namespace pg
