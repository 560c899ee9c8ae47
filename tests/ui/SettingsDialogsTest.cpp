// General Settings and Logging Options driven as an operator drives them, with what they
// write checked in pgate.ini, and the file choosers of both.

#include <functional>
#include <string>

#include "config/ProfileFile.h"
#include "log/LogFile.h"
#include "tests/ui/WindowFixture.h"
#include "ui/GeneralSettingsDialog.h"
#include "ui/LoggingDialog.h"
#include "ui/MessageLogModel.h"
#include "ui/MessagePane.h"

namespace pg::test {
namespace {

using SettingsDialogsTest = WindowFixture;

void Press(QWidget* dialog, const char* button) {
    Click(Find<QPushButton>(dialog, button));
}

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
    }
    EXPECT_NE(IniText(), before);
    GeneralSettingsDialog shown(Spooler());
    for (const auto& f : fields) {
        EXPECT_EQ(Key("GENERAL CONFIGURE", f.key), f.entered.toStdString()) << f.key;
        EXPECT_EQ(Shown(Find(&shown, f.name)), f.entered) << f.name;
    }
    EXPECT_EQ(Spooler().Settings().lpdServerPort, 6515);

    // A port written by hand beyond the field's range (40000 is held as -25536) is shown and,
    // left alone, saved back as it was.
    GeneralSettings settings = Spooler().Settings();
    settings.lpdServerPort = -25536;
    Spooler().SetSettings(settings);
    GeneralSettingsDialog again(Spooler());
    again.show();
    Press(&again, "okButton");
    EXPECT_EQ(Key("GENERAL CONFIGURE", "LPDServerPort"), "-25536");
}

// OK on an untouched dialog leaves pgate.ini as it was, whatever the file holds: absent keys
// are shown as the daemon reads them and not written, odd spellings stay.
TEST_F(SettingsDialogsTest, LoggingOkLeavesTheFileAsItWasUnlessAKeyWasChanged) {
    const struct {
        const char* file;
        std::function<void(const ProfileFile&)> arrange;
    } files[] = {
        {"as written", [](const ProfileFile&) {}},
        {"no [Logging]", [](const ProfileFile& p) { p.DeleteSection("Logging"); }},
        {"odd values",
         [](const ProfileFile& p) {
             p.WriteString("Logging", "LogToScreen", "YES");
             p.WriteString("Logging", "SystemDebugEnable", "Yes!");
             p.WriteString("Logging", "LogLevel", "07");
             p.WriteString("Logging", "LocalPrintTrace", std::nullopt);
         }},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        Start();
        f.arrange(Spooler().Profile());
        const std::string before = IniText();
        ModalAnswerer answerer;
        LoggingDialog dialog(Spooler());
        dialog.show();
        Press(&dialog, "okButton");
        EXPECT_EQ(IniText(), before);
        EXPECT_TRUE(LogFile::ScreenEnabled());
        EXPECT_EQ(answerer.Count(), 0);
    }

    // The screen switch alone: written, and at once; the next line does not reach the pane.
    const std::string level = Key("Logging", "LogLevel");
    for (const char* screen : {"N", "Y"}) {
        LoggingDialog dialog(Spooler());
        dialog.show();
        Enter(Find(&dialog, "logToScreenCheck"), screen);
        Press(&dialog, "okButton");
        EXPECT_EQ(Key("Logging", "LogToScreen"), screen);
        EXPECT_EQ(LogFile::ScreenEnabled(), std::string(screen) == "Y");
        systemLog.Log(1, "logged with the screen %s\n", screen);
    }
    const auto reached = [this](const char* text) {
        const MessageLogModel& lines = *Window().Messages()->Lines();
        return !lines.match(lines.index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchEndsWith)
                    .isEmpty();
    };
    systemLog.Log(1, "the last line\n");
    ASSERT_TRUE(WaitFor([&] { return reached("the last line"); }));
    EXPECT_FALSE(reached("logged with the screen N"));
    EXPECT_EQ(Key("Logging", "LogLevel"), level);

    // A new level is written and in force at once, without a word.
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
    const struct {
        const char* field;
        const char* entered;
        const char* refused;  // what the refusal names; null: accepted
    } limits[] = {
        {"MaxConnections", "-1", "MaxConnections"},
        {"MaxConnections", "7", nullptr},
        {"ListenAddress", "localhost", "localhost"},
        {"ListenAddress", "", nullptr},
        {"LogMaxMB", "5", nullptr},
    };
    ModalAnswerer answerer;
    Press(&dialog, "okButton");
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_TRUE(answerer.Texts().back().contains("rule 2"))
        << answerer.Texts().back().toStdString();
    EXPECT_TRUE(answerer.Texts().back().contains("10.0.0.300"));
    table->item(1, 2)->setText("any");
    for (const auto& l : limits) {
        Enter(Find(&dialog, l.field), l.entered);
        if (l.refused != nullptr) {
            Press(&dialog, "okButton");
            ASSERT_TRUE(dialog.isVisible()) << l.entered;
            EXPECT_TRUE(answerer.Texts().back().contains(l.refused))
                << answerer.Texts().back().toStdString();
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

TEST_F(SettingsDialogsTest, BrowseButtonsStartWhereTheyShouldAndFillTheirFields) {
    Start();
    const QString root = QString::fromStdString(daemon_->Root());
    GeneralSettingsDialog general(Spooler());
    LoggingDialog logging(Spooler());
    const struct {
        QWidget* dialog;
        const char* button;
        const char* field;
        const char* title;  // null: the directory chooser's own
        QString start;
        QString chosen;
    } cases[] = {
        {&general, "hostFileBrowse", "hostFileEdit", "Select/Enter The IP Address Host File",
         "/etc", root + "/hosts.chosen"},
        // The directory chooser starts at the working directory, not at the field's text.
        {&general, "spoolAreaBrowse", "spoolAreaEdit", nullptr, QDir::currentPath(),
         root + "/printers"},
        {&logging, "localBrowse", "localTraceEdit", "Select/Enter Local Trace Filename",
         root + "/trace", root + "/local.chosen"},
        {&logging, "remoteBrowse", "remoteTraceEdit", "Select/Enter Remote Trace Filename",
         root + "/trace", root + "/remote.chosen"},
        {&logging, "systemBrowse", "systemTraceEdit", "Select/Enter System Trace Filename",
         root + "/trace", root + "/system.chosen"},
    };
    general.show();
    logging.show();
    ModalAnswerer answerer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        QString start;
        answerer.OnFileDialog([&](QFileDialog& dialog) {
            start = dialog.directory().absolutePath();
            if (dialog.fileMode() == QFileDialog::Directory) {
                dialog.setDirectory(c.chosen);
            } else {
                dialog.selectFile(c.chosen);
            }
            static_cast<QDialog&>(dialog).accept();
        });
        Press(c.dialog, c.button);
        ASSERT_EQ(answerer.All().back().className, "QFileDialog");
        if (c.title != nullptr) {
            EXPECT_EQ(answerer.All().back().title, c.title);
        }
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(Shown(Find(c.dialog, c.field)), c.chosen);
    }
    Press(&general, "spoolAreaBrowse");  // cancelled: the field stays
    EXPECT_EQ(Shown(Find(&general, "spoolAreaEdit")), root + "/printers");
}

}  // namespace
}  // namespace pg::test
