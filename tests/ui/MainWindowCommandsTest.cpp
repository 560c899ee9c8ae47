// The main window's queue commands over a real daemon: what each does with no selection, with
// "Add Printer" selected and with a queue selected; the engine's refusals; jobs sent by a real
// LPR client; the dialogs the commands open.

#include <QAction>
#include <QListWidget>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <memory>
#include <string>

#include "engine/LPDPrinter.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"
#include "tests/ui/MainWindowFixture.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/TGeneralSettings.h"
#include "ui/TLPrnProp.h"
#include "ui/TLoggingOptions.h"
#include "ui/TPrnWiz1.h"
#include "ui/TPrnWiz2.h"
#include "ui/TRPrnProp.h"
#include "ui/TViewPrintQ.h"

namespace pg::test {
namespace {

const QString kSelectFirst = "Please select a print queue first.";
const std::string kAck(1, '\0');

// An LPR client in the middle of sending job jobNo to queue: the receive-job command and the
// control file are in, so the job is in the queue's list, spooling, until Finish() sends the
// data file (RFC 1179 section 6).
class JobInProgress {
  public:
    JobInProgress(uint16_t port, const std::string& queue, int jobNo) : client_(port) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", jobNo);
        name_ = std::string(digits) + "tester";
        const std::string control = "Htester\nPoperator\nJreport-" + std::string(digits) +
                                    ".txt\nldfA" + name_ + "\nUdfA" + name_ + "\nNreport.txt\n";
        client_.Send("\002" + queue + "\n");
        ok_ = client_.Receive(1) == kAck;
        client_.Send("\002" + std::to_string(control.size()) + " cfA" + name_ + "\n");
        ok_ = ok_ && client_.Receive(1) == kAck;
        client_.Send(control + std::string(1, '\0'));
        ok_ = ok_ && client_.Receive(1) == kAck;
    }

    bool Ok() const { return ok_; }

    bool Finish() {
        const std::string data = "hello from the test\n";
        client_.Send("\003" + std::to_string(data.size()) + " dfA" + name_ + "\n");
        bool ok = client_.Receive(1) == kAck;
        client_.Send(data + std::string(1, '\0'));
        ok = ok && client_.Receive(1) == kAck;
        client_.ShutdownWrite();
        return ok;
    }

  private:
    LoopbackClient client_;
    std::string name_;
    bool ok_ = false;
};

class MainWindowCommandsTest : public MainWindowFixture {
  protected:
    // The commands that need a selected queue, with the way an operator reaches them.
    std::vector<QAction*> QueueCommands() {
        return {MenuItem("File", "Open"),
                MenuItem("File", "Activate Queue"),
                MenuItem("File", "Pause Printing"),
                MenuItem("File", "Purge Documents"),
                MenuItem("File", "Delete Print Queue"),
                MenuItem("File", "Queue Properties")};
    }
    std::shared_ptr<LPDPrinter> Queue(const std::string& name) {
        return Spooler().FindPrinter(name);
    }
};

TEST_F(MainWindowCommandsTest, WithoutASelectionEveryQueueCommandAsksForOne) {
    Start(TestConfig().AddLocalQueue("lp"), /*activate=*/true);
    Window().UpdateListView();
    ModalAnswerer answerer;
    for (QAction* command : QueueCommands()) {
        ASSERT_NE(command, nullptr);
        answerer.Clear();
        command->trigger();
        ASSERT_EQ(answerer.Count(), 1) << command->text().toStdString();
        EXPECT_EQ(answerer.All()[0].text, kSelectFirst) << command->text().toStdString();
        EXPECT_EQ(answerer.All()[0].title, "Pressgate");
        EXPECT_EQ(answerer.All()[0].buttons, QStringList({"OK"}));
    }
    answerer.Clear();
    ToolButton("View Printer Queue")->click();
    EXPECT_EQ(answerer.Texts(), QStringList({kSelectFirst}));
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
}

TEST_F(MainWindowCommandsTest, WithAddPrinterSelectedOnlyTheViewerButtonSpeaks) {
    Start(TestConfig().AddLocalQueue("lp"), /*activate=*/true);
    Window().UpdateListView();
    Select("Add Printer");
    ModalAnswerer answerer;
    for (QAction* command : QueueCommands()) {
        command->trigger();
    }
    EXPECT_EQ(answerer.Count(), 0) << answerer.Texts().join('\n').toStdString();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);

    ToolButton("View Printer Queue")->click();
    EXPECT_EQ(answerer.Texts(), QStringList({kSelectFirst}));
}

TEST_F(MainWindowCommandsTest, DeleteRefusesARunningQueueAndRemovesAPausedOne) {
    Start(TestConfig().AddLocalQueue("lp"), /*activate=*/true);
    Window().UpdateListView();
    Select("lp");
    ModalAnswerer answerer(QMessageBox::Yes);

    ToolButton("Delete Printer Queue")->click();
    ASSERT_EQ(answerer.Count(), 2);
    const ModalAnswerer::Seen& question = answerer.All()[0];
    EXPECT_EQ(question.title, "Delete Queue");
    EXPECT_EQ(question.text, "Are you sure you want to delete this queue? ");
    EXPECT_EQ(question.icon, QMessageBox::Question);
    EXPECT_EQ(question.buttons, QStringList({"&Yes", "&No"}));
    EXPECT_EQ(answerer.All()[1].title, "Error");
    EXPECT_EQ(answerer.All()[1].text, "Please stop the print queue before delete it.");
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));
    ASSERT_NE(Queue("lp"), nullptr);

    MenuItem("File", "Pause Printing")->trigger();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Pause);

    answerer.Clear();
    answerer.SetAnswer(QMessageBox::No);
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"Are you sure you want to delete this queue? "}));
    EXPECT_NE(Queue("lp"), nullptr);

    answerer.Clear();
    answerer.SetAnswer(QMessageBox::Yes);
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Count(), 1);
    // The row goes at once, without waiting for a refresh.
    EXPECT_EQ(Captions(), QStringList({"Add Printer"}));
    EXPECT_EQ(Queue("lp"), nullptr);
    EXPECT_EQ(ReadFile(Daemon().IniPath()).find("\nlp="), std::string::npos);

    answerer.Clear();
    Select("Add Printer");
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"No more print queue to delete."}));
    ClearSelection();
    answerer.Clear();
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"No more print queue to delete."}));
}

TEST_F(MainWindowCommandsTest, DeletingOneOfTwoQueuesKeepsTheOther) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("lp2"));
    Window().UpdateListView();
    Select("lp2");
    ModalAnswerer answerer(QMessageBox::Yes);
    MenuItem("File", "Delete Print Queue")->trigger();  // paused daemon: state Initial
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));
    EXPECT_EQ(Window().SelectedQueueCaption(), "");
    answerer.Clear();
    MenuItem("File", "Delete Print Queue")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({kSelectFirst}));
}

TEST_F(MainWindowCommandsTest, PauseAndResumeGoThroughTheSpooler) {
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
    // The list shows it at the next refresh, not before.
    EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), "Initial");
    MenuItem("View", "Refresh")->trigger();
    EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), "pause");

    MenuItem("File", "Activate Queue")->trigger();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
    EXPECT_EQ(answerer.Count(), 1);
}

TEST_F(MainWindowCommandsTest, JobsSentByAClientShowInTheListAndPurgeRemovesThem) {
    Start(TestConfig().AddLocalQueue("lp"), /*activate=*/true);
    Window().UpdateListView();
    ASSERT_EQ(Cell(1, TPressgate::kJobsColumn), "0");

    JobInProgress first(Daemon().Port(), "lp", 1);
    JobInProgress second(Daemon().Port(), "lp", 2);
    ASSERT_TRUE(first.Ok());
    ASSERT_TRUE(second.Ok());
    ASSERT_TRUE(WaitUntil([this] { return Queue("lp")->JobCount() == 2; }));
    Window().UpdateListView();
    EXPECT_EQ(Cell(1, TPressgate::kJobsColumn), "2");

    // The first job is finished and printed: one left.
    ASSERT_TRUE(first.Finish());
    ASSERT_TRUE(WaitUntil([this] { return Queue("lp")->JobCount() == 1; }));
    Window().UpdateListView();
    EXPECT_EQ(Cell(1, TPressgate::kJobsColumn), "1");

    Select("lp");
    ModalAnswerer answerer;
    MenuItem("File", "Purge Documents")->trigger();
    EXPECT_EQ(answerer.Count(), 0);  // no confirmation
    EXPECT_TRUE(WaitUntil([this] { return Queue("lp")->JobCount() == 0; }));
    EXPECT_EQ(Queue("lp")->StatusText(), "The print queue is purged");
    Window().UpdateListView();
    EXPECT_EQ(Cell(1, TPressgate::kJobsColumn), "0");
    EXPECT_EQ(Cell(1, TPressgate::kCommentsColumn), "The print queue is purged");
}

// The windows the commands open, made as the program makes them.
class MainWindowDialogsTest : public MainWindowCommandsTest {
  protected:
    void StartWithDialogs(const TestConfig& config) {
        Start(config, /*activate=*/true);
        wizard1_ = std::make_unique<TPrnWiz1>(Spooler(), &Window());
        wizard2_ = std::make_unique<TPrnWiz2>(Spooler(), &Window());
        general_ = std::make_unique<TGeneralSettings>(Spooler());
        logging_ = std::make_unique<TLoggingOptions>(Spooler());
        viewer_ = std::make_unique<TViewPrintQ>(Spooler(), &Window());
        local_ = std::make_unique<TLPrnProp>(Spooler(), &Window());
        remote_ = std::make_unique<TRPrnProp>(Spooler(), &Window());
        wizard1_->SetPage2(wizard2_.get());
        wizard2_->SetPage1(wizard1_.get());
        TPressgate::Dialogs dialogs;
        dialogs.wizard1 = wizard1_.get();
        dialogs.wizard2 = wizard2_.get();
        dialogs.general = general_.get();
        dialogs.logging = logging_.get();
        dialogs.viewer = viewer_.get();
        dialogs.localProperties = local_.get();
        dialogs.remoteProperties = remote_.get();
        Window().SetDialogs(dialogs);
        Window().show();
    }
    void TearDown() override {
        remote_.reset();
        local_.reset();
        viewer_.reset();
        logging_.reset();
        general_.reset();
        wizard2_.reset();
        wizard1_.reset();
        MainWindowCommandsTest::TearDown();
    }
    QPoint RowCentre(int row) {
        auto* view = Window().findChild<QTreeView*>("ListView1");
        return view->visualRect(Window().QueueModel()->index(row, 0)).center();
    }
    void DoubleClick(const QPoint& at) {
        auto* view = Window().findChild<QTreeView*>("ListView1");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }

    std::unique_ptr<TPrnWiz1> wizard1_;
    std::unique_ptr<TPrnWiz2> wizard2_;
    std::unique_ptr<TGeneralSettings> general_;
    std::unique_ptr<TLoggingOptions> logging_;
    std::unique_ptr<TViewPrintQ> viewer_;
    std::unique_ptr<TLPrnProp> local_;
    std::unique_ptr<TRPrnProp> remote_;
};

TEST_F(MainWindowDialogsTest, DoubleClickOpensTheWizardOrTheViewerAndTheEmptyAreaNothing) {
    StartWithDialogs(TestConfig().AddLocalQueue("lp"));
    ModalAnswerer answerer;

    DoubleClick(RowCentre(1));
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].className, "pg::TViewPrintQ");
    EXPECT_EQ(answerer.All()[0].title, "View Printer Queue");

    // Below the last row: nothing opens.
    auto* view = Window().findChild<QTreeView*>("ListView1");
    DoubleClick(QPoint(20, view->viewport()->height() - 5));
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_FALSE(wizard1_->isVisible());

    // "Add Printer": the wizard's first page, not modal, and the window stays usable.
    DoubleClick(RowCentre(0));
    EXPECT_TRUE(wizard1_->isVisible());
    EXPECT_FALSE(wizard1_->isModal());
    EXPECT_EQ(answerer.Count(), 1);
    wizard1_->close();
}

TEST_F(MainWindowDialogsTest, QueuePropertiesOpensTheDialogOfTheQueuesKind) {
    StartWithDialogs(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,10.0.0.1,515,"));
    ModalAnswerer answerer;
    Select("far");
    ToolButton("Queue Properties")->click();
    Select("lp");
    MenuItem("File", "Open")->trigger();
    MenuItem("File", "Queue Properties")->trigger();
    ToolButton("View Printer Queue")->click();
    MenuItem("Options", "General")->trigger();
    MenuItem("Options", "Logging")->trigger();
    QStringList titles;
    for (const auto& seen : answerer.All()) {
        titles << seen.title;
    }
    EXPECT_EQ(titles, QStringList({"Remote Printer Properties", "Local Printer Properties",
                                   "Local Printer Properties", "View Printer Queue",
                                   "General Settings", "Logging Options"}));
}

TEST_F(MainWindowDialogsTest, ContextMenuIsOfferedOverAQueueRowOnly) {
    StartWithDialogs(TestConfig().AddLocalQueue("lp"));
    auto* view = Window().findChild<QTreeView*>("ListView1");
    ModalAnswerer answerer;
    Select("lp");
    emit view->customContextMenuRequested(RowCentre(1));
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].className, "QMenu");
    EXPECT_EQ(answerer.All()[0].text, "Open|Queue Properties");

    Select("Add Printer");
    emit view->customContextMenuRequested(RowCentre(0));
    ClearSelection();
    emit view->customContextMenuRequested(RowCentre(0));
    EXPECT_EQ(answerer.Count(), 1);
}

}  // namespace
}  // namespace pg::test
