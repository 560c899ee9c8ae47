// General Settings (with its Access and Limits tabs) and Logging Options driven as an operator
// drives them: what they write to pgate.ini and what they put in force at once.

#include <functional>
#include <string>

#include "config/ProfileFile.h"
#include "log/LogFile.h"
#include "tests/ui/WindowFixture.h"
#include "ui/GeneralSettingsDialog.h"
#include "ui/LoggingDialog.h"

namespace pg::test {
namespace {

using SettingsDialogsTest = WindowFixture;

// Cancel writes nothing, OK every field, and the dialog shows what was saved.
TEST_F(SettingsDialogsTest, GeneralSettingsSavesEveryFieldOnOkOnly) {
    Start();
    const QString root = QString::fromStdString(daemon_->Root());
    const struct {
        const char* name;
        const char* key;
        QString entered;
    } fields[] = {
        {"hostFileEdit", "HostFile", "/srv/hosts"},
        {"spoolAreaEdit", "SpoolBaseDirectory", root + "/spool2"},
        {"localTimeoutSpin", "LocalCmdTimeout", "30"},
        {"remoteTimeoutSpin", "RemoteCmdTimeout", "120"},
        {"portSpin", "LPDServerPort", "6515"},
        {"clearSpoolCheck", "ClearSpoolDirectory", "Y"},
        {"testPrintManagerCheck", "TestPrintManager", "N"},
        {"statusControlCheck", "EnablePrintStatusControl", "N"},
        {"suppressBannerCheck", "SuppressBanner", "Y"},
        {"activateOnStartCheck", "ActivateLPDOnStart", "Y"},
        {"minimizeOnStartCheck", "MinimizeOnStartup", "Y"},
    };
    const std::string before = IniText();
    for (const char* button : {"cancelButton", "okButton"}) {
        GeneralSettingsDialog dialog(Spooler());
        dialog.show();
        for (const auto& f : fields) {
            Enter(Find(&dialog, f.name), f.entered);
        }
        Press(&dialog, button);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(IniText() == before, button == std::string("cancelButton"));
    }
    GeneralSettingsDialog shown(Spooler());
    for (const auto& f : fields) {
        EXPECT_EQ(Key("GENERAL CONFIGURE", f.key), f.entered.toStdString()) << f.key;
        EXPECT_EQ(Shown(Find(&shown, f.name)), f.entered) << f.name;
    }
    EXPECT_EQ(Spooler().Settings().lpdServerPort, 6515);
}

// OK on an untouched dialog leaves pgate.ini as it was, whatever the file holds: absent keys
// are not written, odd spellings stay. A new level is written and in force at once.
TEST_F(SettingsDialogsTest, LoggingOkWritesOnlyWhatChangedAndPutsItInForce) {
    Start();
    const ProfileFile& profile = Spooler().Profile();
    for (const auto& arrange : std::initializer_list<std::function<void()>>{
             [&] {
                 profile.WriteString("Logging", "LogToScreen", "YES");
                 profile.WriteString("Logging", "LogLevel", "07");
             },
             [&] { profile.DeleteSection("Logging"); }}) {
        arrange();
        const std::string before = IniText();
        LoggingDialog dialog(Spooler());
        dialog.show();
        Press(&dialog, "okButton");
        EXPECT_EQ(IniText(), before);
    }
    ModalAnswerer answerer;
    LoggingDialog dialog(Spooler());
    dialog.show();
    Enter(Find(&dialog, "levelSpin"), "2");
    Press(&dialog, "okButton");
    EXPECT_EQ(Key("Logging", "LogLevel"), "2");
    EXPECT_EQ(systemLog.Level(), 2);
    EXPECT_EQ(answerer.Count(), 0);
}

// Rules edited on the Access tab are in force for the next connection and saved in table order;
// a row the daemon could not read keeps the dialog open and names the row. The Limits tab
// refuses what the configuration check rejects and saves the rest.
TEST_F(SettingsDialogsTest, AccessAndLimitsTabsCheckThenPutInForceAndSave) {
    Start(TestConfig().AddQueue("lp", "nowhere,,,x"));
    const auto status = [this] {
        LoopbackClient client(daemon_->Port());
        client.Send("\003lp\n");
        return client.ReceiveUntilClose(std::chrono::seconds(5));
    };
    ASSERT_EQ(status().find("not allowed"), std::string::npos);

    GeneralSettingsDialog dialog(Spooler());
    dialog.show();
    auto* table = Find<QTableWidget>(&dialog, "accessTable");
    Press(&dialog, "addRuleButton");
    Press(&dialog, "addRuleButton");
    for (int column = 0; column < 3; ++column) {
        table->item(1, column)->setText(QStringList{"deny", "status", "10.0.0.300"}[column]);
    }
    ModalAnswerer answerer;
    Press(&dialog, "okButton");
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_TRUE(answerer.Texts().back().contains("rule 2"));
    EXPECT_TRUE(answerer.Texts().back().contains("10.0.0.300"));
    table->item(1, 2)->setText("any");
    // Each refusal names the field or the value at fault (null: accepted).
    for (const auto& [field, value, named] : {std::tuple{"MaxConnections", "-1", "MaxConnections"},
                                              {"MaxConnections", "7", nullptr},
                                              {"ListenAddress", "localhost", "localhost"},
                                              {"ListenAddress", "", nullptr},
                                              {"LogMaxMB", "5", nullptr}}) {
        Enter(Find(&dialog, field), value);
        if (named != nullptr) {
            Press(&dialog, "okButton");
            ASSERT_TRUE(dialog.isVisible()) << value;
            EXPECT_TRUE(answerer.Texts().back().contains(named));
        }
    }
    table->selectRow(1);
    Press(&dialog, "upRuleButton");
    Press(&dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());

    EXPECT_NE(status().find("not allowed"), std::string::npos);
    EXPECT_EQ(Key("Access", "Rule1"), "deny status any");
    EXPECT_EQ(Key("Access", "Rule2"), "allow all any");
    EXPECT_EQ(Spooler().Settings().maxConnections, 7);
    EXPECT_EQ(Key("GENERAL CONFIGURE", "MaxConnections"), "7");
    EXPECT_EQ(Key("Logging", "LogMaxMB"), "5");
    EXPECT_EQ(Key("GENERAL CONFIGURE", "MinFreeMB"), "<none>");  // left alone: not written
}

}  // namespace
}  // namespace pg::test
