// The main window's queue commands over a real daemon: what each does with no selection, with
// "Add Printer" selected and with a queue selected; the engine's refusals; the dialogs and menu
// the commands and mouse actions open. The engine's operator messages as message boxes:
// posted from other threads, and holding only the thread of a remote destination test until
// the operator answers.

#include <chrono>
#include <future>
#include <string>

#include "platform/OperatorMessage.h"
#include "tests/ui/MainWindowFixture.h"

namespace pg::test {
namespace {

using namespace std::chrono_literals;

const QString kSelectFirst = "Please select a print queue first.";

class MainWindowCommandsTest : public MainWindowFixture {
  protected:
    QTreeView* View() { return Window().findChild<QTreeView*>("ListView1"); }
    QPoint RowCentre(int row) {
        return View()->visualRect(Window().QueueModel()->index(row, 0)).center();
    }
    void DoubleClick(const QPoint& at) {
        QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, at);
    }
};

// With no row selected each command asks for one; with "Add Printer" selected only the viewer
// button does, the others do nothing.
TEST_F(MainWindowCommandsTest, CommandsWithoutAQueueSelected) {
    Start(TestConfig().AddLocalQueue("lp"), /*activate=*/true);
    Window().UpdateListView();
    ModalAnswerer answerer;
    for (const bool addPrinter : {false, true}) {
        if (addPrinter) {
            Select("Add Printer");
        }
        for (const char* item : {"Open", "Activate Queue", "Pause Printing", "Purge Documents",
                                 "Delete Print Queue", "Queue Properties"}) {
            SCOPED_TRACE(item);
            answerer.Clear();
            MenuItem("File", item)->trigger();
            EXPECT_EQ(answerer.Texts(), addPrinter ? QStringList() : QStringList({kSelectFirst}));
        }
        answerer.Clear();
        ToolButton("View Printer Queue")->click();
        EXPECT_EQ(answerer.Texts(), QStringList({kSelectFirst}));
        EXPECT_EQ(answerer.All()[0].title, "Pressgate");
        EXPECT_EQ(answerer.All()[0].buttons, QStringList({"OK"}));
    }
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
}

TEST_F(MainWindowCommandsTest, DeleteAsksRefusesARunningQueueAndRemovesAPausedOne) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("lp2"), /*activate=*/true);
    Window().UpdateListView();
    Select("lp");
    ModalAnswerer answerer(QMessageBox::Yes);
    ToolButton("Delete Printer Queue")->click();
    ASSERT_EQ(answerer.Texts(), QStringList({"Are you sure you want to delete this queue? ",
                                             "Please stop the print queue before delete it."}));
    const ModalAnswerer::Seen& question = answerer.All()[0];
    EXPECT_EQ(question.title, "Delete Queue");
    EXPECT_EQ(question.icon, QMessageBox::Question);
    EXPECT_EQ(question.buttons, QStringList({"&Yes", "&No"}));
    EXPECT_EQ(answerer.All()[1].title, "Error");
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp", "lp2"}));

    MenuItem("File", "Pause Printing")->trigger();
    ASSERT_EQ(Queue("lp")->State(), QueueState::Pause);
    answerer.Clear();
    answerer.SetAnswer(QMessageBox::No);
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_NE(Queue("lp"), nullptr);

    answerer.SetAnswer(QMessageBox::Yes);
    MenuItem("File", "Delete Print Queue")->trigger();
    // The row goes at once, without waiting for a refresh, and the selection with it.
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp2"}));
    EXPECT_EQ(Queue("lp"), nullptr);
    EXPECT_EQ(QueueEntry("lp"), "<none>");
    answerer.Clear();
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({kSelectFirst}));

    // The last queue: only "Add Printer" is left, whatever is selected.
    Spooler().ActivateLPD(false);  // a stopped queue may go
    Select("lp2");
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(Captions(), QStringList({"Add Printer"}));
    answerer.Clear();
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"No more print queue to delete."}));
}

TEST_F(MainWindowCommandsTest, PauseResumeAndPurgeGoThroughTheSpooler) {
    Start(TestConfig().AddLocalQueue("lp"));
    Window().UpdateListView();
    Select("lp");
    ModalAnswerer answerer;
    // The daemon is paused: the spooler refuses to start a queue.
    ToolButton("Resume Queue")->click();
    EXPECT_EQ(answerer.Texts(), QStringList({"Please activate the LPD daemon first."}));
    EXPECT_EQ(answerer.All()[0].title, "Error");

    MenuItem("Options", "Activate LPD")->trigger();
    ToolButton("Pause Queue")->click();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Pause);
    EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), "Initial");  // not before the next refresh
    MenuItem("View", "Refresh")->trigger();
    EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), "pause");

    // Two jobs held by the paused queue are purged without a question.
    AddSizedJob(*Queue("lp"), 1, "ann", "pc1", 300);
    AddSizedJob(*Queue("lp"), 2, "bob", "pc2", 300);
    MenuItem("View", "Refresh")->trigger();
    EXPECT_EQ(Cell(1, TPressgate::kJobsColumn), "2");
    MenuItem("File", "Purge Documents")->trigger();
    EXPECT_EQ(Queue("lp")->JobCount(), 0u);
    MenuItem("View", "Refresh")->trigger();
    EXPECT_EQ(Cell(1, TPressgate::kJobsColumn), "0");
    EXPECT_EQ(Cell(1, TPressgate::kCommentsColumn), "The print queue is purged");

    MenuItem("File", "Activate Queue")->trigger();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
    EXPECT_EQ(answerer.Count(), 1);
}

TEST_F(MainWindowCommandsTest, DoubleClickOpensTheWizardOrTheViewerAndTheEmptyAreaNothing) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    Window().show();
    ModalAnswerer answerer;
    DoubleClick(RowCentre(1));
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].className, "pg::TViewPrintQ");

    DoubleClick(QPoint(20, View()->viewport()->height() - 5));  // below the last row
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_FALSE(wizard1_->isVisible());

    // "Add Printer": the wizard's first page, not modal, so the window stays usable.
    DoubleClick(RowCentre(0));
    EXPECT_TRUE(wizard1_->isVisible());
    EXPECT_FALSE(wizard1_->isModal());
    EXPECT_EQ(answerer.Count(), 1);
}

TEST_F(MainWindowCommandsTest, CommandsOpenTheirDialogsAndTheContextMenuOnlyOverAQueue) {
    StartDialogs(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,10.0.0.1,515,"));
    Window().show();
    ModalAnswerer answerer;
    Select("far");
    ToolButton("Queue Properties")->click();
    Select("lp");
    MenuItem("File", "Open")->trigger();
    ToolButton("View Printer Queue")->click();
    MenuItem("Options", "General")->trigger();
    MenuItem("Options", "Logging")->trigger();
    emit View()->customContextMenuRequested(RowCentre(1));
    QStringList seen;
    for (const auto& each : answerer.All()) {
        seen << (each.className == "QMenu" ? each.text : each.title);
    }
    EXPECT_EQ(seen, QStringList({"Remote Printer Properties", "Local Printer Properties",
                                 "View Printer Queue", "General Settings", "Logging Options",
                                 "Open|Queue Properties"}));

    answerer.Clear();
    Select("Add Printer");
    emit View()->customContextMenuRequested(RowCentre(0));
    Window().QueueSelection()->clear();
    emit View()->customContextMenuRequested(RowCentre(0));
    EXPECT_EQ(answerer.Count(), 0);
}

// --- the engine's operator messages as message boxes ------------------------------------------

bool Finished(std::future<void>& future, std::chrono::milliseconds within) {
    return future.wait_for(within) == std::future_status::ready;
}

TEST(OperatorMessageBoxesTest, WorkerMessagesArePostedInOrderWithoutWaiting) {
    OperatorMessageBoxes boxes;
    ModalAnswerer answerer;
    std::future<void> worker = std::async(std::launch::async, [] {
        OperatorMessage::Show(nullptr, "Winsock Error", "bind() failed");
        OperatorMessage::Show(nullptr, "Error", "Printer not exist!");
    });
    // The window thread is not processing events: a waiting worker would never finish.
    ASSERT_TRUE(Finished(worker, 10s));
    EXPECT_EQ(answerer.Count(), 0);
    EXPECT_TRUE(WaitFor([&] { return answerer.Count() == 2; }));
    EXPECT_EQ(answerer.Texts(), QStringList({"bind() failed", "Printer not exist!"}));
    EXPECT_EQ(answerer.All()[0].title, "Winsock Error");
}

TEST(OperatorMessageBoxesTest, GoingAwayReleasesWaitingThreadsAndDropsTheirBoxes) {
    auto boxes = std::make_unique<OperatorMessageBoxes>();
    std::future<void> worker = std::async(
        std::launch::async, [] { OperatorMessage::Show(nullptr, "Error", "socket() failed"); });
    ASSERT_TRUE(WaitUntil([&] { return boxes->WaitingThreads() == 1; }));
    boxes.reset();
    EXPECT_TRUE(Finished(worker, 10s));
    ModalAnswerer answerer;
    QCoreApplication::processEvents();
    EXPECT_EQ(answerer.Count(), 0);
    // Without the object the messages are the headless ones again.
    std::async(std::launch::async, [] {
        OperatorMessage::Show(nullptr, "Error", "socket() failed");
    }).get();
}

// A remote queue whose host cannot be resolved: the connection asking for it waits for the
// operator; the listener and other connections go on.
TEST(OperatorMessageBoxesTest, TheDestinationTestBlocksOnlyItsOwnConnection) {
    TestDaemon daemon(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,nohost.invalid,515,"));
    OperatorMessageBoxes boxes;
    ModalAnswerer answerer;
    LoopbackClient waiting(daemon.Port());
    waiting.Send("\002far\n");

    std::string replyWhileOpen = "unset";
    std::string otherReply;
    answerer.SetInspector([&](const ModalAnswerer::Seen&) {
        replyWhileOpen = waiting.Receive(1, 200ms);
        LoopbackClient other(daemon.Port());
        other.Send("\002lp\n");
        otherReply = other.Receive(1);
    });
    ASSERT_TRUE(WaitFor([&] { return answerer.Count() == 1; }, 20000));
    EXPECT_EQ(answerer.All()[0].title, "getaddrinfo() failed.");
    EXPECT_NE(answerer.All()[0].text.indexOf("nohost.invalid"), -1);
    EXPECT_EQ(replyWhileOpen, "");
    EXPECT_EQ(otherReply, std::string(1, '\0'));
    // Answered: the waiting connection gets its refusal.
    EXPECT_EQ(waiting.Receive(1, 10s), std::string(1, '\1'));
}

}  // namespace
}  // namespace pg::test
