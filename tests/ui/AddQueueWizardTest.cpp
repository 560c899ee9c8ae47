// The add-queue wizard driven from the keyboard as an operator drives it: what it refuses and
// why, and the queues it adds, written to pgate.ini and started when the daemon runs.

#include <filesystem>

#include "tests/ui/WindowFixture.h"
#include "ui/AddQueueWizard.h"

namespace pg::test {
namespace {

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

}  // namespace
}  // namespace pg::test
