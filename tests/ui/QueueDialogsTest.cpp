// The queue viewer and the two queue properties dialogs, each opened on its queue, driven as
// an operator drives them, with what they do checked in the engine and in pgate.ini.

#include <string>

#include "tests/ui/WindowFixture.h"
#include "ui/LocalQueueDialog.h"
#include "ui/QueueJobsDialog.h"
#include "ui/QueueJobsModel.h"
#include "ui/RemoteQueueDialog.h"

namespace pg::test {
namespace {

using QueueDialogsTest = WindowFixture;

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
TEST_F(QueueDialogsTest, ViewerListsItsQueuesJobsAndActsOnTheSelectedOne) {
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

TEST_F(QueueDialogsTest, LocalPropertiesApplyKeepsTheDialogAndRewritesTheEntry) {
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

TEST_F(QueueDialogsTest, RemotePropertiesApplyRewritesTheEntry) {
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
