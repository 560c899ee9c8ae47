// General Settings and Logging Options: what they show, what OK writes and switches, what
// Cancel leaves alone.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <mutex>
#include <string>
#include <vector>

#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "engine/LPDSpooler.h"
#include "log/cLogFile.h"
#include "tests/ui/DialogTestSupport.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/TGeneralSettings.h"
#include "ui/TLoggingOptions.h"

namespace pg::test {
namespace {

class SettingsDialogsTest : public DialogsFixture {
  protected:
    std::string General(const char* key) {
        return ProfileFile(Daemon().IniPath()).GetString("GENERAL CONFIGURE", key, "<none>");
    }
    std::string Logging(const char* key) {
        return ProfileFile(Daemon().IniPath()).GetString("Logging", key, "<none>");
    }
    static void Type(QLineEdit* field, const QString& text) {
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    static void Type(QSpinBox* field, const QString& text) {
        field->selectAll();
        QTest::keyClicks(field, text);
    }
};

// --- General Settings --------------------------------------------------------------------------

TEST_F(SettingsDialogsTest, GeneralSettingsShowsSavesAndShowsAgain) {
    StartDialogs();
    TGeneralSettings* dialog = general_;
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "General Settings");
    EXPECT_EQ(dialog->size(), QSize(372, 437));
    const std::string root = Daemon().Root();
    EXPECT_EQ(Child<QLineEdit>(dialog, "hostFileEdit")->text(), "/etc/hosts");
    EXPECT_EQ(Child<QLineEdit>(dialog, "spoolAreaEdit")->text().toStdString(), root + "/spool");
    EXPECT_FALSE(Child<QCheckBox>(dialog, "clearSpoolCheck")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(dialog, "localTimeoutSpin")->value(), 10);
    EXPECT_EQ(Child<QSpinBox>(dialog, "remoteTimeoutSpin")->value(), 10);
    EXPECT_EQ(Child<QSpinBox>(dialog, "portSpin")->value(), 0);
    EXPECT_TRUE(Child<QCheckBox>(dialog, "testPrintManagerCheck")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "statusControlCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "suppressBannerCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "activateOnStartCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "minimizeOnStartCheck")->isChecked());

    Type(Child<QLineEdit>(dialog, "hostFileEdit"), "/srv/hosts");
    Type(Child<QLineEdit>(dialog, "spoolAreaEdit"), QString::fromStdString(root + "/spool2"));
    for (const char* name :
         {"clearSpoolCheck", "testPrintManagerCheck", "statusControlCheck", "suppressBannerCheck",
          "activateOnStartCheck", "minimizeOnStartCheck"}) {
        Click(Child<QCheckBox>(dialog, name));
    }
    Type(Child<QSpinBox>(dialog, "localTimeoutSpin"), "30");
    Type(Child<QSpinBox>(dialog, "remoteTimeoutSpin"), "120");
    Type(Child<QSpinBox>(dialog, "portSpin"), "6515");
    Click(Child<QPushButton>(dialog, "okButton"));
    EXPECT_FALSE(dialog->isVisible());

    EXPECT_EQ(General("HostFile"), "/srv/hosts");
    EXPECT_EQ(General("SpoolBaseDirectory"), root + "/spool2");
    EXPECT_EQ(General("ClearSpoolDirectory"), "Y");
    EXPECT_EQ(General("TestPrintManager"), "N");
    EXPECT_EQ(General("EnablePrintStatusControl"), "N");
    EXPECT_EQ(General("SuppressBanner"), "Y");
    EXPECT_EQ(General("ActivateLPDOnStart"), "Y");
    EXPECT_EQ(General("MinimizeOnStartup"), "Y");
    EXPECT_EQ(General("LocalCmdTimeout"), "30");
    EXPECT_EQ(General("RemoteCmdTimeout"), "120");
    EXPECT_EQ(General("LPDServerPort"), "6515");
    EXPECT_EQ(General("PrintSystem"), "devices:" + root + "/printers");
    const GeneralSettings settings = Spooler().Settings();
    EXPECT_EQ(settings.lpdServerPort, 6515);
    EXPECT_EQ(settings.remoteCmdTimeout, 120);
    EXPECT_FALSE(settings.testPrintManager);

    dialog->show();
    EXPECT_EQ(Child<QLineEdit>(dialog, "hostFileEdit")->text(), "/srv/hosts");
    EXPECT_TRUE(Child<QCheckBox>(dialog, "clearSpoolCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "testPrintManagerCheck")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "minimizeOnStartCheck")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(dialog, "localTimeoutSpin")->value(), 30);
    EXPECT_EQ(Child<QSpinBox>(dialog, "portSpin")->value(), 6515);
}

TEST_F(SettingsDialogsTest, GeneralSettingsCancelLeavesNoTrace) {
    StartDialogs();
    TGeneralSettings* dialog = general_;
    const std::string before = IniText();
    dialog->show();
    Type(Child<QLineEdit>(dialog, "hostFileEdit"), "/elsewhere");
    Click(Child<QCheckBox>(dialog, "suppressBannerCheck"));
    Type(Child<QSpinBox>(dialog, "portSpin"), "9100");
    Click(Child<QPushButton>(dialog, "cancelButton"));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(IniText(), before);
    EXPECT_EQ(Spooler().Settings().hostFile, "/etc/hosts");

    dialog->show();
    EXPECT_EQ(Child<QLineEdit>(dialog, "hostFileEdit")->text(), "/etc/hosts");
    EXPECT_FALSE(Child<QCheckBox>(dialog, "suppressBannerCheck")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(dialog, "portSpin")->value(), 0);
}

TEST_F(SettingsDialogsTest, GeneralSettingsNumberFieldsStayInTheirRanges) {
    StartDialogs();
    general_->show();
    struct Limit {
        const char* name;
        int maximum;
    };
    for (const Limit& limit : {Limit{"localTimeoutSpin", 120}, Limit{"remoteTimeoutSpin", 120},
                               Limit{"portSpin", 32000}}) {
        SCOPED_TRACE(limit.name);
        auto* spin = Child<QSpinBox>(general_, limit.name);
        Type(spin, QString::number(limit.maximum - 1));
        QTest::keyClick(spin, Qt::Key_Up);
        EXPECT_EQ(spin->value(), limit.maximum);
        QTest::keyClick(spin, Qt::Key_Up);
        EXPECT_EQ(spin->value(), limit.maximum);
        Type(spin, "1");
        QTest::keyClick(spin, Qt::Key_Down);
        EXPECT_EQ(spin->value(), 0);
        QTest::keyClick(spin, Qt::Key_Down);
        EXPECT_EQ(spin->value(), 0);
    }
}

// A port written into the file by hand beyond the field's range (40000 is held as -25536) is
// shown and, left alone, saved back as it was.
TEST_F(SettingsDialogsTest, GeneralSettingsKeepsAStoredPortOutsideTheFieldsRange) {
    StartDialogs();
    GeneralSettings settings = Spooler().Settings();
    settings.lpdServerPort = -25536;
    Spooler().SetSettings(settings);
    general_->show();
    auto* port = Child<QSpinBox>(general_, "portSpin");
    EXPECT_EQ(port->value(), -25536);
    Click(Child<QPushButton>(general_, "okButton"));
    EXPECT_EQ(General("LPDServerPort"), "-25536");

    settings.lpdServerPort = 515;
    Spooler().SetSettings(settings);
    general_->show();
    EXPECT_EQ(port->minimum(), 0);
    EXPECT_EQ(port->maximum(), 32000);
}

TEST_F(SettingsDialogsTest, GeneralSettingsBrowseButtons) {
    StartDialogs();
    FileDialogAnswerer files;
    general_->show();
    const QString chosenFile = QString::fromStdString(Daemon().Root() + "/hosts.chosen");
    QString title;
    QString startDirectory;
    files.OnNext([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        startDirectory = dialog.directory().absolutePath();
        dialog.selectFile(chosenFile);
        static_cast<QDialog&>(dialog).accept();
    });
    Click(Child<QPushButton>(general_, "hostFileBrowse"));
    EXPECT_EQ(title, "Select/Enter The IP Address Host File");
    EXPECT_EQ(startDirectory, "/etc");  // the field held /etc/hosts
    EXPECT_EQ(Child<QLineEdit>(general_, "hostFileEdit")->text(), chosenFile);

    const QString chosenDirectory = QString::fromStdString(Daemon().Root() + "/printers");
    files.OnNext([&](QFileDialog& dialog) {
        startDirectory = dialog.directory().absolutePath();
        dialog.setDirectory(chosenDirectory);
        static_cast<QDialog&>(dialog).accept();
    });
    Click(Child<QPushButton>(general_, "spoolAreaBrowse"));
    EXPECT_EQ(startDirectory, QDir::currentPath());
    EXPECT_EQ(Child<QLineEdit>(general_, "spoolAreaEdit")->text(), chosenDirectory);

    // Cancelling keeps the field.
    Click(Child<QPushButton>(general_, "spoolAreaBrowse"));
    EXPECT_EQ(files.Seen(), 3);
    EXPECT_EQ(Child<QLineEdit>(general_, "spoolAreaEdit")->text(), chosenDirectory);
}

// --- Logging Options ---------------------------------------------------------------------------

TEST_F(SettingsDialogsTest, LoggingOptionsWithoutALoggingSectionShowsTheDialogsDefaults) {
    StartDialogs();
    ProfileFile(Daemon().IniPath()).DeleteSection("Logging");
    TLoggingOptions* dialog = logging_;
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Logging Options");
    EXPECT_EQ(dialog->size(), QSize(475, 323));
    EXPECT_EQ(Child<QSpinBox>(dialog, "levelSpin")->value(), 0);
    EXPECT_FALSE(Child<QCheckBox>(dialog, "logToScreenCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "logToFileCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "localCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "remoteCheck")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(dialog, "systemTraceEdit")->text(), "");
    EXPECT_EQ(Child<QLineEdit>(dialog, "localTraceEdit")->text(), "local.log");
    EXPECT_EQ(Child<QLineEdit>(dialog, "remoteTraceEdit")->text(), "remote.log");
}

TEST_F(SettingsDialogsTest, LoggingOptionsChecksOnlyYesAndY) {
    StartDialogs();
    const ProfileFile profile(Daemon().IniPath());
    profile.WriteString("Logging", "LogToScreen", "YES");
    profile.WriteString("Logging", "SystemDebugEnable", "Yes!");
    profile.WriteString("Logging", "LocalTraceEnable", "y");
    profile.WriteString("Logging", "RemoteTraceEnable", "Yes please");
    profile.WriteString("Logging", "LogLevel", "7");
    logging_->show();
    EXPECT_TRUE(Child<QCheckBox>(logging_, "logToScreenCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(logging_, "logToFileCheck")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(logging_, "localCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(logging_, "remoteCheck")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(logging_, "levelSpin")->value(), 7);
}

// A sink that keeps the message window's lines as they arrive, on the logging thread.
class CapturedScreen {
  public:
    CapturedScreen() {
        cLogFile::SetScreenOutput([this](const char* text) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(text);
        });
    }
    ~CapturedScreen() { cLogFile::SetScreenOutput(nullptr); }
    bool Has(const std::string& text) {
        std::lock_guard lock(mutex_);
        for (const auto& line : lines_) {
            if (line == text) {
                return true;
            }
        }
        return false;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

TEST_F(SettingsDialogsTest, LoggingOptionsOkWritesTheKeysAndSwitchesAtOnce) {
    StartDialogs();
    ModalAnswerer answerer;
    CapturedScreen screen;
    const std::string systemTrace = Daemon().TracePath("system.log");
    systemLog.Log(1, "line before OK\n");
    ASSERT_TRUE(screen.Has("line before OK"));

    TLoggingOptions* dialog = logging_;
    dialog->show();
    EXPECT_TRUE(Child<QCheckBox>(dialog, "logToScreenCheck")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "logToFileCheck")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(dialog, "levelSpin")->value(), 3);
    Click(Child<QCheckBox>(dialog, "logToScreenCheck"));
    Click(Child<QCheckBox>(dialog, "logToFileCheck"));
    Click(Child<QCheckBox>(dialog, "remoteCheck"));
    Type(Child<QSpinBox>(dialog, "levelSpin"), "2");
    Type(Child<QLineEdit>(dialog, "systemTraceEdit"), "elsewhere.log");
    Click(Child<QPushButton>(dialog, "okButton"));

    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].title, "Pressgate");
    EXPECT_EQ(answerer.All()[0].text,
              "Please restart the Pressgate in order to make the change effective.");
    EXPECT_FALSE(dialog->isVisible());

    systemLog.Log(1, "line after OK\n");
    EXPECT_FALSE(screen.Has("line after OK"));
    EXPECT_FALSE(cLogFile::ScreenEnabled());
    const std::string written = ReadFile(systemTrace);
    EXPECT_NE(written.find("line before OK"), std::string::npos);
    EXPECT_EQ(written.find("line after OK"), std::string::npos);
    EXPECT_TRUE(localPrintLog.Enabled());
    EXPECT_FALSE(remotePrintLog.Enabled());

    EXPECT_EQ(Logging("LogLevel"), "2");
    EXPECT_EQ(Logging("LogToScreen"), "N");
    EXPECT_EQ(Logging("SystemDebugEnable"), "N");
    EXPECT_EQ(Logging("SystemTrace"), "elsewhere.log");
    EXPECT_EQ(Logging("LocalTraceEnable"), "Y");
    EXPECT_EQ(Logging("LocalPrintTrace"), Daemon().TracePath("local.log"));
    EXPECT_EQ(Logging("RemoteTraceEnable"), "N");
    // The level and the file names wait for the next start.
    EXPECT_EQ(systemLog.Level(), 3);

    // Switched back on, the lines flow again at once.
    dialog->show();
    Click(Child<QCheckBox>(dialog, "logToScreenCheck"));
    Click(Child<QPushButton>(dialog, "okButton"));
    systemLog.Log(1, "line after the second OK\n");
    EXPECT_TRUE(screen.Has("line after the second OK"));
    systemLog.SetEnabled(true);
    remotePrintLog.SetEnabled(true);
}

TEST_F(SettingsDialogsTest, LoggingOptionsCancelWritesAndSwitchesNothing) {
    StartDialogs();
    ModalAnswerer answerer;
    const std::string before = IniText();
    logging_->show();
    Click(Child<QCheckBox>(logging_, "logToScreenCheck"));
    Click(Child<QCheckBox>(logging_, "localCheck"));
    Click(Child<QPushButton>(logging_, "cancelButton"));
    EXPECT_FALSE(logging_->isVisible());
    EXPECT_EQ(answerer.Count(), 0);
    EXPECT_EQ(IniText(), before);
    EXPECT_TRUE(cLogFile::ScreenEnabled());
    EXPECT_TRUE(localPrintLog.Enabled());
}

TEST_F(SettingsDialogsTest, LoggingOptionsBrowseButtonsStartAtTheirFields) {
    StartDialogs();
    FileDialogAnswerer files;
    logging_->show();
    struct Case {
        const char* button;
        const char* field;
        const char* title;
    };
    for (const Case& c :
         {Case{"localBrowse", "localTraceEdit", "Select/Enter Local Trace Filename"},
          Case{"remoteBrowse", "remoteTraceEdit", "Select/Enter Remote Trace Filename"},
          Case{"systemBrowse", "systemTraceEdit", "Select/Enter System Trace Filename"}}) {
        SCOPED_TRACE(c.button);
        const QString chosen = QString::fromStdString(Daemon().Root() + "/" + c.button + ".log");
        QString title;
        QString start;
        files.OnNext([&](QFileDialog& dialog) {
            title = dialog.windowTitle();
            start = dialog.directory().absolutePath();
            dialog.selectFile(chosen);
            static_cast<QDialog&>(dialog).accept();
        });
        Click(Child<QPushButton>(logging_, c.button));
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(start.toStdString(), Daemon().Root() + "/trace");
        EXPECT_EQ(Child<QLineEdit>(logging_, c.field)->text(), chosen);
    }
}

}  // namespace
}  // namespace pg::test
