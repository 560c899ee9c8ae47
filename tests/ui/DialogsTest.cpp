// The dialogs driven as an operator drives them, with what they do checked in the engine and in
// pgate.ini: the add-queue wizard from the keyboard (what it refuses and why, the queues it adds
// and starts when the daemon runs), General Settings with its Access and Limits tabs, Logging
// Options, the queue viewer and the two queue properties dialogs, each on its queue.

#include <filesystem>
#include <functional>
#include <string>

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
    // Chooses the kind, types the name and presses Return; on page 2 types the remote queue
    // and host and presses Return again.
    void Fill(AddQueueWizard& wizard, const QString& name, bool remote = false,
              const QString& remoteQueue = {}, const QString& host = {}) {
        Click(Find<QRadioButton>(&wizard, remote ? "remoteRadio" : "localRadio"));
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
    const struct {
        const char* name;
        bool remote;
        const char* remoteQueue;
        const char* host;
        const char* says;  // a piece of the one message shown
    } cases[] = {
        {"", false, "", "", "Must enter a Printer Queue name"},
        {"remote q", true, "", "", "holds a blank"},
        {"lp@home", false, "", "", "the character '@'"},
        {"..", false, "", "", "cannot be used"},
        {"lp", false, "", "", "Printer already exist!"},
        {"r1", true, "RQ", "localhost", "has no dot in it"},
        {"r1", true, "RQ", "nohost.invalid", "cannot be found"},
        {"Logging", false, "", "", "cannot be named"},  // the spooler's own refusal
    };
    const std::string before = IniText();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModalAnswerer answerer;
        AddQueueWizard& wizard = Open();
        Fill(wizard, c.name, c.remote, c.remoteQueue, c.host);
        ASSERT_EQ(answerer.Texts().size(), 1);
        EXPECT_TRUE(answerer.Texts()[0].contains(c.says)) << answerer.Texts()[0].toStdString();
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
        Fill(remote, "R1", true, "RQ", "127.0.0.1");
        EXPECT_FALSE(remote.isVisible());
        EXPECT_EQ(QueueEntry("R1"), "RQ,127.0.0.1,6000,");
        ASSERT_TRUE(Queue("R1") && Queue("R1")->IsRemote());
        EXPECT_EQ(Queue("R1")->HasPrintingThread(), running);
        EXPECT_EQ(answerer.Count(), 0);
    }
}

// Cancel writes nothing, OK every field, and the dialog shows what was saved.
TEST_F(DialogsTest, GeneralSettingsSavesEveryFieldOnOkOnly) {
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
TEST_F(DialogsTest, LoggingOkWritesOnlyWhatChangedAndPutsItInForce) {
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
TEST_F(DialogsTest, AccessAndLimitsTabsCheckThenPutInForceAndSave) {
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

// Selects the job of that reference number and presses the button.
void JobButton(QueueJobsDialog& dialog, const QString& jobRef, const char* button) {
    const QModelIndexList found =
        dialog.Model()->match(dialog.Model()->index(0, QueueJobsModel::kJobRef), Qt::DisplayRole,
                              jobRef, 1, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << jobRef.toStdString();
    dialog.View()->selectionModel()->setCurrentIndex(
        found.first(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Press(&dialog, button);
}

// The rows of its queue only, a job stored meanwhile among them; the job buttons
// act on the selected job, found by the number, user and host of its row (an empty host
// matches any). Once the queue is deleted the list is empty.
TEST_F(DialogsTest, ViewerListsItsQueuesJobsAndActsOnTheSelectedOne) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("other"), /*activate=*/false);
    auto job5 = StoreJob(*Queue("lp"), 5, "ann", "pc1");
    StoreJob(*Queue("lp"), 6, "bob", "pc2");
    auto job7 = StoreJob(*Queue("lp"), 7, "carl", "");
    StoreJob(*Queue("other"), 99, "eve", "pc9");
    QueueJobsDialog viewer(Spooler(), Queue("lp"));
    viewer.show();
    StoreJob(*Queue("lp"), 123, "dora", "client");
    ASSERT_TRUE(WaitFor([&] { return viewer.Model()->rowCount() == 4; }));

    JobButton(viewer, "#005", "pauseJobButton");
    EXPECT_EQ(job5->State(), JobState::Pause);
    JobButton(viewer, "#005", "resumeJobButton");
    EXPECT_EQ(job5->State(), JobState::Waiting);
    JobButton(viewer, "#007", "pauseJobButton");
    EXPECT_EQ(job7->State(), JobState::Pause);
    JobButton(viewer, "#006", "deleteJobButton");
    EXPECT_FALSE(Queue("lp")->FindJob(6, "bob", "pc2"));
    EXPECT_EQ(viewer.Model()->rowCount(), 3);

    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    EXPECT_TRUE(WaitFor([&] { return viewer.Model()->rowCount() == 0; }));
}

TEST_F(DialogsTest, LocalPropertiesApplyKeepsTheDialogAndRewritesTheEntry) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("P"), /*activate=*/false);
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

    // The queue removed while the dialog is open: OK changes nothing and closes.
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    const std::string before = IniText();
    printers->setEditText("typed-printer");
    Press(&dialog, "okButton");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(IniText(), before);
}

TEST_F(DialogsTest, RemotePropertiesApplyRewritesTheEntry) {
    Start(TestConfig().AddQueue("r1", "RQ,10.0.0.1,515,forwards"), /*activate=*/false);
    RemoteQueueDialog dialog(Spooler(), Queue("r1"));
    dialog.show();
    Enter(Find(&dialog, "remoteHostEdit"), "127.0.0.1");
    Enter(Find(&dialog, "remotePortSpin"), "6515");
    Press(&dialog, "applyButton");
    EXPECT_EQ(QueueEntry("r1"), "RQ,127.0.0.1,6515,Print in remote LPD printer - RQ@127.0.0.1");
    EXPECT_EQ(Queue("r1")->Target().remotePort, 6515);
    Press(&dialog, "cancelButton");
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace pg::test
