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

class GeneralSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir((dir_ / "home").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((dir_ / "cwd").c_str(), 0755), 0);
        location_.home = dir_ / "home";
        location_.currentDirectory = dir_ / "cwd";
    }

    // The file with a [GENERAL CONFIGURE] of the given lines.
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

TEST_F(GeneralSettingsTest, DefaultFileIsTheTwentySixLines) {
    WriteFile(location_.IniPath(), "old content that is replaced\r\n");
    ASSERT_TRUE(CreateDefaultConfiguration(location_));
    const std::string cwd = location_.currentDirectory;
    EXPECT_EQ(ReadFile(location_.IniPath()),
              "[GENERAL CONFIGURE]\r\n"
              "LPDInstallDirectory=" +
                  cwd +
                  "\r\n"
                  "Hostfile=/etc/hosts\r\n"
                  "SpoolBaseDirectory=" +
                  cwd +
                  "/spool\r\n"
                  "LocalCmdTimeout=100\r\n"
                  "RemoteCmdTimeout=100\r\n"
                  "LPDServerPort=515\r\n"
                  "ClearSpoolDirectory=Y\r\n"
                  "TestPrintManager=Y\r\n"
                  "EnablePrintStatusControl=Y\r\n"
                  "SuppressBanner=N\r\n"
                  "MinimizeOnStartup=N\r\n"
                  "ActivateLPDOnStart=N\r\n"
                  "\r\n"
                  "[Print Queues]\r\n"
                  "\r\n"
                  "[Logging]\r\n"
                  "LogLevel=1\r\n"
                  "LogFileCache=0\r\n"
                  "LogToScreen=Y\r\n"
                  "SystemDebugEnable=N\r\n"
                  "LocalTraceEnable=N\r\n"
                  "RemoteTraceEnable=N\r\n"
                  "SystemTrace=" +
                  cwd +
                  "/trace/system.log\r\n"
                  "LocalPrintTrace=" +
                  cwd +
                  "/trace/local.log\r\n"
                  "RemotePrintTrace=" +
                  cwd + "/trace/remote.log\r\n");
    struct stat st {};
    EXPECT_EQ(::stat((cwd + "/spool").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(::stat((cwd + "/trace").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // A second run over the existing directories still succeeds.
    EXPECT_TRUE(CreateDefaultConfiguration(location_));
}

TEST_F(GeneralSettingsTest, DefaultFileAddsNoSecondSlash) {
    location_.currentDirectory = dir_ / "cwd/";
    ASSERT_TRUE(CreateDefaultConfiguration(location_));
    const std::string text = ReadFile(location_.IniPath());
    EXPECT_NE(text.find("\r\nLPDInstallDirectory=" + dir_ / "cwd/\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSpoolBaseDirectory=" + dir_ / "cwd/spool\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSystemTrace=" + dir_ / "cwd/trace/system.log\r\n"), std::string::npos);
}

TEST_F(GeneralSettingsTest, NoDefaultFileAndNoDirectoriesWithoutAHome) {
    location_.home = dir_ / "missing";
    EXPECT_FALSE(CreateDefaultConfiguration(location_));
    EXPECT_FALSE(FileExists(dir_ / "missing/pgate.ini"));
    EXPECT_FALSE(FileExists(dir_ / "cwd/spool"));
}

TEST_F(GeneralSettingsTest, DefaultFileReadsBackAsItsOwnValues) {
    ASSERT_TRUE(CreateDefaultConfiguration(location_));
    const GeneralSettings settings = Read();
    int walked = 0;
    for (const SettingKey& key : GeneralSettingKeys()) {
        SCOPED_TRACE(key.key);
        if (key.defaultName != nullptr) {
            EXPECT_EQ(SavedText(key, settings), ResolveDefault(key.defaultFile, location_));
            ++walked;
        } else {
            // Extension keys are not in the default file: they read as their absent default.
            EXPECT_EQ(SavedText(key, settings), ResolveDefault(key.absent, location_));
        }
    }
    EXPECT_EQ(walked, 12);
    EXPECT_EQ(settings.localCmdTimeout, 100);    // the file's value, not the absent-key 20
    EXPECT_EQ(settings.hostFile, "/etc/hosts");  // found although the file spells "Hostfile"
    EXPECT_EQ(settings.spoolBaseDirectory, dir_ / "cwd/spool");
}

TEST_F(GeneralSettingsTest, MissingFileGivesTheAbsentKeyDefaults) {
    const GeneralSettings settings = Read();
    for (const SettingKey& key : GeneralSettingKeys()) {
        SCOPED_TRACE(key.key);
        const std::string expected = ResolveDefault(key.absent, location_);
        if (key.form == SettingKey::Form::kYesNo) {
            EXPECT_EQ(SavedText(key, settings), expected.substr(0, 1));  // "Yes" -> "Y"
        } else {
            EXPECT_EQ(SavedText(key, settings), expected);
        }
    }
    EXPECT_EQ(settings.lpdInstallDirectory, dir_ / "cwd");
    EXPECT_EQ(settings.localCmdTimeout, 20);
    EXPECT_EQ(settings.lpdServerPort, 515);
    EXPECT_TRUE(settings.clearSpoolOnStart);
    EXPECT_FALSE(settings.activateLPDOnStart);
    EXPECT_EQ(settings.printSystem, "cups");
    EXPECT_EQ(settings.closeDelayMs, 3000);
}

TEST_F(GeneralSettingsTest, YesIsYesOrYInAnyCase) {
    for (const char* text : {"yes", "y", "YES", "Y", "Yes", "yEs", " y "}) {
        SCOPED_TRACE(text);
        WriteGeneral(std::string("ActivateLPDOnStart=") + text + "\r\n");
        EXPECT_TRUE(Read().activateLPDOnStart);
    }
    for (const char* text : {"1", "true", "on", "yess", "ye", "n", ""}) {
        SCOPED_TRACE(text);
        WriteGeneral(std::string("ClearSpoolDirectory=") + text + "\r\n");
        EXPECT_FALSE(Read().clearSpoolOnStart);
    }
    EXPECT_FALSE(IsYes("no"));
    EXPECT_TRUE(IsYes("Y"));
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
    WriteGeneral("SpoolBaseDirectory=Unknown\r\n");
    EXPECT_EQ(Read().spoolBaseDirectory, "Unknown");
}

TEST_F(GeneralSettingsTest, IntegersTakeLeadingDigitsAndThePortKeepsSixteenBits) {
    WriteGeneral(
        "LocalCmdTimeout=12abc\r\nRemoteCmdTimeout=abc\r\nLPDServerPort=40000\r\n"
        "CloseDelayMs=-5\r\nAcceptDelayMs=0\r\nForwardChunkDelayMs=7ms\r\n");
    const GeneralSettings settings = Read();
    EXPECT_EQ(settings.localCmdTimeout, 12);
    EXPECT_EQ(settings.remoteCmdTimeout, 0);
    EXPECT_EQ(settings.lpdServerPort, -25536);
    EXPECT_EQ(settings.ListenPort(), 40000);
    EXPECT_EQ(settings.closeDelayMs, 0);  // negative delays count as none
    EXPECT_EQ(settings.acceptDelayMs, 0);
    EXPECT_EQ(settings.forwardChunkDelayMs, 7);
    EXPECT_NE(std::find(events_.begin(), events_.end(), "LPDServerPort is -25536\n"),
              events_.end());
    EXPECT_NE(std::find(events_.begin(), events_.end(), "CloseDelayMs is 0\n"), events_.end());
    for (const auto& [text, port] : std::vector<std::pair<const char*, int>>{
             {"32767", 32767}, {"32768", -32768}, {"65535", -1}, {"65536", 0}, {"-1", -1}}) {
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
    EXPECT_EQ(events_, (std::vector<std::string>{
                           "LPDInstallDirectory  is /opt/pg\n",
                           "Hostfile is /h\n",
                           "spoolBaseKnown /sp",
                           "SpoolBaseDirectory  is /sp\n",
                           "LocalCmdTimeout is 5 seconds\n",
                           "RemoteCmdTimeout is 6 seconds\n",
                           "LPDServerPort is 515\n",
                           "clearSpool",
                           "TestPrintManager before accepting jobs : False\n",
                           "EnablePrintStatusControl = YES\n",
                           "suppressBanner = maybe\n",
                           "minimizeOnStartup : True\n",
                           "activateLPDOnStart : False\n",
                           "PrintSystem is devices:/dev/null\n",
                           "CloseDelayMs is 3000\n",
                           "AcceptDelayMs is 100\n",
                           "ForwardChunkDelayMs is 100\n",
                       }));
    events_.clear();
    // Absent yes/no keys log their default texts; no clearing when the key says no.
    WriteGeneral("ClearSpoolDirectory=N\r\n");
    Read();
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "clearSpool"), 0);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "EnablePrintStatusControl = Yes\n"), 1);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "suppressBanner = No\n"), 1);
}

TEST_F(GeneralSettingsTest, KeysAfterTheHooksAreReadAfterThem) {
    // What a hook does to the file shows in the keys read after it: clearing runs before
    // TestPrintManager is read, and the spool base is known before the time-outs are read.
    WriteGeneral("ClearSpoolDirectory=Y\r\nTestPrintManager=Y\r\nLocalCmdTimeout=1\r\n");
    hooks_.clearSpool = [this] { file_.WriteString("GENERAL CONFIGURE", "TestPrintManager", "N"); };
    hooks_.spoolBaseKnown = [this](const std::string&) {
        file_.WriteString("GENERAL CONFIGURE", "LocalCmdTimeout", "2");
    };
    const GeneralSettings settings = Read();
    EXPECT_FALSE(settings.testPrintManager);
    EXPECT_EQ(settings.localCmdTimeout, 2);
}

TEST_F(GeneralSettingsTest, EmptyHooksAreSkipped) {
    WriteGeneral("ClearSpoolDirectory=Y\r\n");
    EXPECT_TRUE(ReadGeneralSettings(file_, location_, SettingsReadHooks{}).clearSpoolOnStart);
}

TEST_F(GeneralSettingsTest, SavingWritesTheDesignKeysInOrderAndReadsBack) {
    GeneralSettings changed;
    changed.lpdInstallDirectory = "/inst";
    changed.hostFile = "/h";
    changed.spoolBaseDirectory = "/sp";
    changed.localCmdTimeout = 7;
    changed.remoteCmdTimeout = -3;
    changed.lpdServerPort = -25536;
    changed.clearSpoolOnStart = false;
    changed.testPrintManager = true;
    changed.enablePrintStatusControl = false;
    changed.activateLPDOnStart = true;
    changed.suppressBanner = true;
    changed.minimizeOnStartup = false;
    changed.printSystem = "devices:/x";  // an extension key: never saved
    SaveGeneralSettings(file_, changed);
    EXPECT_EQ(ReadFile(location_.IniPath()),
              "[GENERAL CONFIGURE]\r\n"
              "ClearSpoolDirectory=N\r\nTestPrintManager=Y\r\nEnablePrintStatusControl=N\r\n"
              "SuppressBanner=Y\r\nMinimizeOnStartup=N\r\nActivateLPDOnStart=Y\r\n"
              "LPDInstallDirectory=/inst\r\nSpoolBaseDirectory=/sp\r\nHostFile=/h\r\n"
              "LocalCmdTimeout=7\r\nRemoteCmdTimeout=-3\r\nLPDServerPort=-25536\r\n");
    const GeneralSettings back = Read();
    for (const SettingKey& key : GeneralSettingKeys()) {
        SCOPED_TRACE(key.key);
        if (key.saveRank > 0) {
            EXPECT_EQ(SavedText(key, back), SavedText(key, changed));
        }
    }
    EXPECT_EQ(back.ListenPort(), 40000);
    EXPECT_EQ(back.printSystem, "cups");
}

TEST_F(GeneralSettingsTest, SavingOverTheDefaultFileReplacesValuesInPlace) {
    ASSERT_TRUE(CreateDefaultConfiguration(location_));
    std::string expected = ReadFile(location_.IniPath());
    GeneralSettings settings = Read();
    settings.lpdServerPort = 1515;
    settings.hostFile = "/srv/hosts";
    SaveGeneralSettings(file_, settings);
    expected.replace(expected.find("LPDServerPort=515"), 17, "LPDServerPort=1515");
    expected.replace(expected.find("Hostfile=/etc/hosts"), 19, "Hostfile=/srv/hosts");
    EXPECT_EQ(ReadFile(location_.IniPath()), expected);
}

}  // namespace
}  // namespace pg
