// The dialogs driven as an operator drives them, with what they do checked in the engine and in
// pgate.ini.

#include <filesystem>
#include <string>
#include <tuple>

#include "config/ProfileFile.h"
#include "log/LogFile.h"
#include "tests/ui/WindowFixture.h"
#include "ui/AddQueueWizard.h"
#include "ui/GeneralSettingsDialog.h"
#include "ui/LocalQueueDialog.h"
#include "ui/LoggingDialog.h"
#include "ui/QueueJobsDialog.h"
#include "ui/QueueJobsModel.h"
#include "ui/RemoteQueueDialog.h"

namespace pg::test {
namespace {

using DialogsTest = WindowFixture;

class AddQueueWizardTest : public WindowFixture {
  protected:
    // A fresh wizard, as Ctrl+N opens it.
    AddQueueWizard& Open() {
        if (Window().Wizard()) {
            Window().Wizard()->reject();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        Actions().addQueue->trigger();
        return *Window().Wizard();
    }
    // Chooses the kind (remote when a host is given), types the name and presses Return; on
    // page 2 types the remote queue and host and presses Return again.
    void Fill(AddQueueWizard& wizard, const QString& name, const QString& remoteQueue = {},
              const QString& host = {}) {
        Click(Find<QRadioButton>(&wizard, host.isEmpty() ? "localRadio" : "remoteRadio"));
        Enter(Find(&wizard, "queueNameEdit"), name);
        QTest::keyClick(Find(&wizard, "queueNameEdit"), Qt::Key_Return);
        if (wizard.currentId() == AddQueueWizard::kRemotePage) {
            Enter(Find(&wizard, "remoteQueueEdit"), remoteQueue);
            Enter(Find(&wizard, "remoteHostEdit"), host);
            QTest::keyClick(Find(&wizard, "remoteHostEdit"), Qt::Key_Return);
        }
    }
};

TEST_F(AddQueueWizardTest, RefusesWhatLprClientsOrTheNextStartCouldNotUseAndSaysWhy) {
    Start(TestConfig().AddLocalQueue("lp"));
    // The name, remote queue and host typed, a piece of the one message shown.
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"", "", "", "Must enter a Printer Queue name"},
        {"remote q", "", "", "holds a blank"},
        {"lp@home", "", "", "the character '@'"},
        {"..", "", "", "cannot be used"},
        {"lp", "", "", "Printer already exist!"},
        {"r1", "RQ", "localhost", "has no dot in it"},
        {"r1", "RQ", "nohost.invalid", "cannot be found"},
        {"Logging", "", "", "cannot be named"},  // the spooler's own refusal
    };
    const std::string before = IniText();
    for (const auto& [name, remoteQueue, host, says] : cases) {
        SCOPED_TRACE(name);
        ModalAnswerer answerer;
        AddQueueWizard& wizard = Open();
        Fill(wizard, name, remoteQueue, host);
        ASSERT_EQ(answerer.Texts().size(), 1);
        EXPECT_TRUE(answerer.Texts()[0].contains(says)) << answerer.Texts()[0].toStdString();
        EXPECT_TRUE(wizard.isVisible());
    }
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));
    EXPECT_EQ(IniText(), before);
}

TEST_F(AddQueueWizardTest, AddsLocalAndRemoteQueuesAndStartsThemWhenTheDaemonRuns) {
    for (const bool running : {true, false}) {
        SCOPED_TRACE(running);
        Start(TestConfig().AddLocalQueue("lp"), running);
        std::filesystem::create_directories(daemon_->PrinterPath("P"));
        WriteFile(daemon_->PrinterPath(".default"), "P\n");
        ModalAnswerer answerer;

        AddQueueWizard& local = Open();
        EXPECT_EQ(Shown(Find(&local, "printerBox")), "P");  // the default printer
        Fill(local, "Q1");
        EXPECT_EQ(QueueEntry("Q1"), "P,,,LPD Printer");
        ASSERT_TRUE(Queue("Q1"));
        EXPECT_EQ(Queue("Q1")->HasPrintingThread(), running);

        AddQueueWizard& remote = Open();
        Enter(Find(&remote, "remotePortSpin"), "6000");
        Fill(remote, "R1", "RQ", "127.0.0.1");
        EXPECT_FALSE(remote.isVisible());
        EXPECT_EQ(QueueEntry("R1"), "RQ,127.0.0.1,6000,");
        ASSERT_TRUE(Queue("R1") && Queue("R1")->IsRemote());
        EXPECT_EQ(Queue("R1")->HasPrintingThread(), running);
        EXPECT_EQ(answerer.Titles().size(), 0);
    }
}

// Cancel writes nothing, OK every field, and the dialog shows what was saved.
TEST_F(DialogsTest, GeneralSettingsSavesEveryFieldOnOkOnly) {
    Start();
    const QString root = QString::fromStdString(daemon_->Root());
    // The field, its key, the value entered.
    const std::tuple<const char*, const char*, QString> fields[] = {
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
        for (const auto& [name, key, entered] : fields) {
            Enter(Find(&dialog, name), entered);
        }
        Press(&dialog, button);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(IniText() == before, button == std::string("cancelButton"));
    }
    GeneralSettingsDialog shown(Spooler());
    for (const auto& [name, key, entered] : fields) {
        EXPECT_EQ(Key("GENERAL CONFIGURE", key), entered.toStdString()) << key;
        EXPECT_EQ(Shown(Find(&shown, name)), entered) << name;
    }
    EXPECT_EQ(Spooler().Settings().lpdServerPort, 6515);
}

// OK on an untouched dialog leaves pgate.ini as it was, whatever the file holds: absent keys
// are not written, odd spellings stay. A new level is written and in force at once.
TEST_F(DialogsTest, LoggingOkWritesOnlyWhatChangedAndPutsItInForce) {
    Start();
    const ProfileFile& profile = Spooler().Profile();
    profile.WriteString("Logging", "LogToScreen", "YES");
    profile.WriteString("Logging", "LogLevel", "07");
    for (int pass = 0; pass < 2; ++pass) {
        const std::string before = IniText();
        LoggingDialog dialog(Spooler());
        dialog.show();
        Press(&dialog, "okButton");
        EXPECT_EQ(IniText(), before) << pass;
        profile.DeleteSection("Logging");  // the second pass: absent keys
    }
    ModalAnswerer answerer;
    LoggingDialog dialog(Spooler());
    dialog.show();
    Enter(Find(&dialog, "levelSpin"), "2");
    Press(&dialog, "okButton");
    EXPECT_EQ(Key("Logging", "LogLevel"), "2");
    EXPECT_EQ(systemLog.Level(), 2);
    EXPECT_EQ(answerer.Titles().size(), 0);
}

// Rules edited on the Access tab are in force for the next connection and saved in table order;
// a row the daemon could not read keeps the dialog open and names the row. The Limits tab
// refuses what the configuration check rejects and saves the rest.
TEST_F(DialogsTest, AccessAndLimitsTabsCheckThenPutInForceAndSave) {
    Start(TestConfig().AddQueue("lp", "nowhere,,,x"));
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
    EXPECT_TRUE(answerer.Texts().back().contains(QRegularExpression("rule 2.*10.0.0.300")));
    table->item(1, 2)->setText("any");
    Enter(Find(&dialog, "MaxConnections"), "-1");
    Press(&dialog, "okButton");
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_TRUE(answerer.Texts().back().contains("MaxConnections"));
    Enter(Find(&dialog, "MaxConnections"), "7");
    Enter(Find(&dialog, "LogMaxMB"), "5");
    table->selectRow(1);
    Press(&dialog, "upRuleButton");
    Press(&dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());

    LoopbackClient client(daemon_->Port());
    client.Send("\003lp\n");
    EXPECT_NE(client.ReceiveUntilClose(std::chrono::seconds(5)).find("not allowed"),
              std::string::npos);
    EXPECT_EQ(Key("Access", "Rule1"), "deny status any");
    EXPECT_EQ(Key("Access", "Rule2"), "allow all any");
    EXPECT_EQ(Spooler().Settings().maxConnections, 7);
    EXPECT_EQ(Key("GENERAL CONFIGURE", "MaxConnections"), "7");
    EXPECT_EQ(Key("Logging", "LogMaxMB"), "5");
    EXPECT_EQ(Key("GENERAL CONFIGURE", "MinFreeMB"), "<none>");  // left alone: not written
}

// Selects the job in that row and presses the button.
void JobButton(QueueJobsDialog& dialog, int row, const char* button) {
    dialog.View()->selectionModel()->setCurrentIndex(
        dialog.Model()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Press(&dialog, button);
}

// The rows of its queue only, a job stored meanwhile among them; the job buttons act on the
// selected job. Once the queue is deleted the list is empty.
TEST_F(DialogsTest, ViewerListsItsQueuesJobsAndActsOnTheSelectedOne) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("other"), /*activate=*/false);
    auto job5 = StoreJob(*Queue("lp"), 5, "ann", "pc1");
    StoreJob(*Queue("lp"), 6, "bob", "pc2");
    StoreJob(*Queue("other"), 99, "eve", "pc9");
    QueueJobsDialog viewer(Spooler(), Queue("lp"));
    viewer.show();
    StoreJob(*Queue("lp"), 123, "dora", "client");
    ASSERT_TRUE(WaitFor([&] { return viewer.Model()->rowCount() == 3; }));

    JobButton(viewer, 0, "pauseJobButton");
    EXPECT_EQ(job5->State(), JobState::Pause);
    JobButton(viewer, 0, "resumeJobButton");
    EXPECT_EQ(job5->State(), JobState::Waiting);
    JobButton(viewer, 1, "deleteJobButton");
    EXPECT_FALSE(Queue("lp")->FindJob(6, "bob", "pc2"));
    EXPECT_EQ(viewer.Model()->rowCount(), 2);

    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    EXPECT_TRUE(WaitFor([&] { return viewer.Model()->rowCount() == 0; }));
}

// Apply saves and keeps the dialog; OK on a queue removed meanwhile changes nothing and closes.
TEST_F(DialogsTest, QueuePropertiesApplyRewritesTheEntry) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("P").AddQueue("r1",
                                                                       "RQ,10.0.0.1,515,forwards"),
          /*activate=*/false);
    RemoteQueueDialog remote(Spooler(), Queue("r1"));
    remote.show();
    Enter(Find(&remote, "remoteHostEdit"), "127.0.0.1");
    Enter(Find(&remote, "remotePortSpin"), "6515");
    Press(&remote, "applyButton");
    EXPECT_EQ(QueueEntry("r1"), "RQ,127.0.0.1,6515,Print in remote LPD printer - RQ@127.0.0.1");
    EXPECT_EQ(Queue("r1")->Target().remotePort, 6515);

    LocalQueueDialog dialog(Spooler(), Queue("lp"));
    dialog.show();
    auto* printers = Find<QComboBox>(&dialog, "printerBox");
    printers->setCurrentIndex(printers->findText("P"));
    Enter(Find(&dialog, "formFeedCheck"), "N");
    Press(&dialog, "applyButton");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(QueueEntry("lp"), "P,,,Print in local/LAN printer - P");
    EXPECT_EQ(Key("lp", "FormFeedAtEndOfJob"), "no");
    EXPECT_EQ(Queue("lp")->Target().destination, "P");

    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    const std::string before = IniText();
    printers->setEditText("typed-printer");
    Press(&dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(IniText(), before);
}

}  // namespace
}  // namespace pg::test
