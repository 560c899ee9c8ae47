// The queue viewer and the two queue properties dialogs, on the queue selected in the main
// window.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <string>

#include "config/ProfileFile.h"
#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"
#include "engine/LPDSpooler.h"
#include "tests/support/Loopback.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/JobSizeText.h"
#include "ui/TLPrnProp.h"
#include "ui/TPressgate.h"
#include "ui/TRPrnProp.h"
#include "ui/TViewPrintQ.h"

namespace pg::test {
namespace {

class QueueDialogsTest : public DialogsFixture {
  protected:
    QTreeWidget* Jobs() { return Child<QTreeWidget>(viewer_, "jobList"); }

    QStringList Row(int row) {
        QStringList texts;
        const QTreeWidgetItem* item = Jobs()->topLevelItem(row);
        for (int column = 0; item != nullptr && column < item->columnCount(); ++column) {
            texts << item->text(column);
        }
        return texts;
    }

    void SelectJobRow(const QString& jobRef) {
        QTreeWidget* list = Jobs();
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            if (list->topLevelItem(row)->text(7) == jobRef) {
                list->setCurrentItem(list->topLevelItem(row));
                return;
            }
        }
        ADD_FAILURE() << "no row " << jobRef.toStdString();
    }

    void Press(const char* button) { Click(Child<QPushButton>(viewer_, button)); }
};

TEST(JobSizeText, SwitchesFromKToMAt1024000Bytes) {
    EXPECT_EQ(JobSizeText(0), "0.0K");
    EXPECT_EQ(JobSizeText(1536), "1.5K");
    EXPECT_EQ(JobSizeText(1023999), "1000.0K");
    EXPECT_EQ(JobSizeText(1024000), "1.0M");
    EXPECT_EQ(JobSizeText(1024001), "1.0M");
    EXPECT_EQ(JobSizeText(1048576), "1.0M");
    EXPECT_EQ(JobSizeText(10240000), "10.0M");
    EXPECT_EQ(JobSizeText(4294967295u), "4194.3M");
}

TEST(JobRefText, FormatsAtLeastThreeDigitsAndReadsThemBack) {
    EXPECT_EQ(TViewPrintQ::JobRefText(5), "#005");
    EXPECT_EQ(TViewPrintQ::JobRefText(7), "#007");
    EXPECT_EQ(TViewPrintQ::JobRefText(1234), "#1234");
    EXPECT_EQ(TViewPrintQ::JobRefNumber("#005"), 5);
    EXPECT_EQ(TViewPrintQ::JobRefNumber("#1234"), 1234);
    EXPECT_EQ(TViewPrintQ::JobRefNumber("#12x"), 12);
    EXPECT_EQ(TViewPrintQ::JobRefNumber("#"), 0);
}

// --- viewer ------------------------------------------------------------------------------------

TEST_F(QueueDialogsTest, ViewerShowsTheSelectedQueuesJobsInItsColumns) {
    StartDialogs(TestConfig().AddLocalQueue("lp").AddLocalQueue("other"), /*activate=*/false);
    auto queue = Spooler().FindPrinter(std::string("lp"));
    ASSERT_TRUE(queue);
    AddSizedJob(*queue, 5, "ann", "pc1", 1536, "report.txt");
    int jobNo = 10;
    for (uint64_t size : {0ull, 1023999ull, 1024000ull, 10240000ull}) {
        AddSizedJob(*queue, jobNo++, "bob", "pc2", size);
    }
    AddSizedJob(*Spooler().FindPrinter(std::string("other")), 99, "eve", "pc9", 100);

    Select("lp");
    viewer_->show();
    EXPECT_EQ(viewer_->windowTitle(), "View Printer Queue");
    EXPECT_EQ(viewer_->size(), QSize(610, 256));
    QTreeWidget* list = Jobs();
    const struct {
        const char* caption;
        int width;
    } columns[] = {{"Job Name", 70}, {"Status", 50},    {"Size", 50},     {"User", 60},
                   {"Host", 100},    {"Time/Date", 65}, {"Comment", 100}, {"Job Ref. No.", 90}};
    ASSERT_EQ(list->columnCount(), 8);
    for (int column = 0; column < 8; ++column) {
        EXPECT_EQ(list->headerItem()->text(column), columns[column].caption);
        EXPECT_EQ(list->columnWidth(column), columns[column].width);
    }
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);

    ASSERT_EQ(list->topLevelItemCount(), 5);
    EXPECT_EQ(Row(0), QStringList({"report.txt", "waiting", "1.5K", "ann", "pc1",
                                   "12:00:00 12/05/26", "", "#005"}));
    EXPECT_EQ(Row(1)[2], "0.0K");
    EXPECT_EQ(Row(2)[2], "1000.0K");
    EXPECT_EQ(Row(3)[2], "1.0M");
    EXPECT_EQ(Row(4)[2], "10.0M");
}

TEST_F(QueueDialogsTest, JobButtonsPauseResumeAndDeleteTheSelectedJob) {
    StartDialogs(TestConfig().AddLocalQueue("lp"), /*activate=*/false);
    auto queue = Spooler().FindPrinter(std::string("lp"));
    ASSERT_TRUE(queue);
    auto job5 = AddSizedJob(*queue, 5, "ann", "pc1", 300);
    auto job6 = AddSizedJob(*queue, 6, "bob", "pc2", 300);
    auto job7 = AddSizedJob(*queue, 7, "carl", "", 300);  // no H line: the host column is empty
    job6.reset();
    Select("lp");
    viewer_->show();

    // Without a selected row the buttons do nothing.
    Press("pauseJobButton");
    Press("deleteJobButton");
    EXPECT_EQ(Jobs()->topLevelItemCount(), 3);
    EXPECT_EQ(job5->State(), JobState::Waiting);

    SelectJobRow("#005");
    Press("pauseJobButton");
    EXPECT_EQ(job5->State(), JobState::Pause);
    EXPECT_EQ(Row(0)[1], "pause");
    SelectJobRow("#005");
    Press("resumeJobButton");
    EXPECT_EQ(job5->State(), JobState::Waiting);
    EXPECT_EQ(Row(0)[1], "waiting");

    SelectJobRow("#007");
    Press("pauseJobButton");
    EXPECT_EQ(job7->State(), JobState::Pause);

    const std::string spool = Daemon().SpoolDirectory("lp");
    ASSERT_TRUE(FileExists(spool + "/cfA006pc2"));
    SelectJobRow("#006");
    Press("deleteJobButton");
    EXPECT_FALSE(queue->FindJob(6, "bob", "pc2"));
    EXPECT_EQ(Jobs()->topLevelItemCount(), 2);
    EXPECT_FALSE(FileExists(spool + "/cfA006pc2"));
    EXPECT_FALSE(FileExists(spool + "/dfA006pc2"));
}

TEST_F(QueueDialogsTest, RefreshShowsAJobSentMeanwhile) {
    // The printer does not exist, so the job waits in the queue for a retry.
    StartDialogs(TestConfig()
                     .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                     .AddQueue("lp", "no-such-printer,,,test queue"));
    auto queue = Spooler().FindPrinter(std::string("lp"));
    ASSERT_TRUE(queue);
    ASSERT_EQ(queue->State(), QueueState::Running);
    Select("lp");
    viewer_->show();
    EXPECT_EQ(Jobs()->topLevelItemCount(), 0);

    const std::string control = "Hclient\nPdora\nJletter.txt\nldfA123client\nUdfA123client\n";
    const std::string data = "Dear operator,\n";
    {
        LoopbackClient client(Daemon().Port());
        client.Send("\002lp\n");
        ASSERT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
        client.Send("\002" + std::to_string(control.size()) + " cfA123client\n");
        ASSERT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
        client.Send(control + std::string(1, '\0'));
        ASSERT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
        client.Send("\003" + std::to_string(data.size()) + " dfA123client\n");
        ASSERT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
        client.Send(data + std::string(1, '\0'));
        ASSERT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
    }
    ASSERT_TRUE(WaitUntil([&] { return queue->JobCount() == 1; }));
    EXPECT_EQ(Jobs()->topLevelItemCount(), 0);  // no refresh by itself

    Press("refreshButton");
    ASSERT_EQ(Jobs()->topLevelItemCount(), 1);
    const QStringList row = Row(0);
    EXPECT_EQ(row[0], "letter.txt");
    EXPECT_EQ(row[2], JobSizeText(static_cast<uint32_t>(control.size() + data.size())));
    EXPECT_EQ(row[3], "dora");
    EXPECT_EQ(row[4], "client");
    EXPECT_EQ(row[7], "#123");

    // The queue goes away: the list empties and the buttons act on nothing.
    ASSERT_TRUE(queue->Pause());
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    Press("refreshButton");
    EXPECT_EQ(Jobs()->topLevelItemCount(), 0);
}

TEST_F(QueueDialogsTest, ViewerOpensFromTheMainWindowModally) {
    StartDialogs(TestConfig().AddLocalQueue("lp"), /*activate=*/false);
    AddSizedJob(*Spooler().FindPrinter(std::string("lp")), 5, "ann", "pc1", 10);
    Select("lp");
    int rows = -1;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        rows = Jobs()->topLevelItemCount();
        modal = viewer_->isModal() && viewer_->isVisible();
        Press("closeButton");
    });
    Window().ViewPrinterQueue();
    EXPECT_TRUE(modal);
    EXPECT_EQ(rows, 1);
    EXPECT_FALSE(viewer_->isVisible());
}

// --- properties ------------------------------------------------------------------------------

TEST_F(QueueDialogsTest, LocalPropertiesApplyKeepsTheDialogAndRewritesTheEntry) {
    StartDialogs(TestConfig().AddLocalQueue("lp").AddLocalQueue("P"), /*activate=*/false);
    Select("lp");
    TLPrnProp* dialog = localProperties_;
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Local Printer Properties");
    EXPECT_EQ(dialog->size(), QSize(458, 401));
    auto* tabs = dialog->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 1);
    EXPECT_EQ(tabs->tabText(0), "Queue Settings");
    auto* name = Child<QLineEdit>(dialog, "queueNameEdit");
    EXPECT_EQ(name->text(), "lp");
    EXPECT_FALSE(name->isEnabled());
    auto* printers = Child<QComboBox>(dialog, "printerBox");
    EXPECT_EQ(printers->currentText(), "lp");
    EXPECT_EQ(printers->count(), 2);
    EXPECT_EQ(printers->maxVisibleItems(), 20);
    auto* formFeed = Child<QCheckBox>(dialog, "formFeedCheck");
    EXPECT_TRUE(formFeed->isChecked());

    printers->setCurrentIndex(printers->findText("P"));
    Click(formFeed);
    Click(Child<QPushButton>(dialog, "applyButton"));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QueueEntry("lp"), "P,,,Print in local/LAN printer - P");
    EXPECT_EQ(ProfileFile(Daemon().IniPath()).GetString("lp", "FormFeedAtEndOfJob", ""), "no");
    const QueueTarget target = Spooler().FindPrinter(std::string("lp"))->Target();
    EXPECT_EQ(target.destination, "P");
    EXPECT_FALSE(target.formFeedAtEndOfJob);

    // A typed name that is no printer is taken as it is.
    printers->setEditText("typed-printer");
    Click(Child<QPushButton>(dialog, "okButton"));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(QueueEntry("lp"), "typed-printer,,,Print in local/LAN printer - typed-printer");
}

TEST_F(QueueDialogsTest, RemotePropertiesApplyWritesHostAndPort) {
    StartDialogs(TestConfig().AddQueue("r1", "RQ,10.0.0.1,515,forwards"), /*activate=*/false);
    Select("r1");
    TRPrnProp* dialog = remoteProperties_;
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Remote Printer Properties");
    EXPECT_EQ(dialog->size(), QSize(420, 351));
    EXPECT_EQ(dialog->findChild<QTabWidget*>()->tabText(0), "Settings");
    EXPECT_EQ(Child<QLineEdit>(dialog, "queueNameEdit")->text(), "r1");
    EXPECT_FALSE(Child<QLineEdit>(dialog, "queueNameEdit")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(dialog, "remoteQueueEdit")->text(), "RQ");
    EXPECT_EQ(Child<QLineEdit>(dialog, "remoteHostEdit")->text(), "10.0.0.1");
    auto* port = Child<QSpinBox>(dialog, "remotePortSpin");
    EXPECT_EQ(port->value(), 515);
    EXPECT_EQ(port->maximum(), 32700);

    auto* host = Child<QLineEdit>(dialog, "remoteHostEdit");
    host->selectAll();
    QTest::keyClicks(host, "10.0.0.2");
    port->selectAll();
    QTest::keyClicks(port, "6515");
    Click(Child<QPushButton>(dialog, "applyButton"));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QueueEntry("r1"), "RQ,10.0.0.2,6515,Print in remote LPD printer - RQ@10.0.0.2");
    const QueueTarget target = Spooler().FindPrinter(std::string("r1"))->Target();
    EXPECT_EQ(target.remoteHost, "10.0.0.2");
    EXPECT_EQ(target.remotePort, 6515);

    // Cancel after Apply: what was applied stays.
    Click(Child<QPushButton>(dialog, "cancelButton"));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Spooler().FindPrinter(std::string("r1"))->Target().remotePort, 6515);
}

TEST_F(QueueDialogsTest, PropertiesOfAQueueRemovedMeanwhileApplyNothing) {
    StartDialogs(TestConfig().AddLocalQueue("lp").AddLocalQueue("P"), /*activate=*/false);
    Select("lp");
    localProperties_->show();
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    const std::string before = IniText();
    Child<QComboBox>(localProperties_, "printerBox")->setEditText("P");
    Click(Child<QPushButton>(localProperties_, "applyButton"));
    EXPECT_TRUE(localProperties_->isVisible());
    EXPECT_EQ(IniText(), before);
    Click(Child<QPushButton>(localProperties_, "okButton"));
    EXPECT_FALSE(localProperties_->isVisible());
    EXPECT_EQ(IniText(), before);
}

}  // namespace
}  // namespace pg::test
