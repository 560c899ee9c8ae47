// The main window over a real daemon: its commands, keys, list, progress and notifications; the
// message pane; the engine's operator messages as boxes, posted from other threads.

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log/LogFile.h"
#include "platform/OperatorMessage.h"
#include "tests/ui/WindowFixture.h"
#include "ui/DesktopNotifier.h"
#include "ui/MessageFilterModel.h"
#include "ui/MessageLogModel.h"
#include "ui/MessagePane.h"
#include "ui/ProgressDelegate.h"

namespace pg::test {
namespace {

using MainWindowTest = WindowFixture;
using namespace std::chrono_literals;

// The enabled queue commands as letters, '-' for a disabled one.
QString Enabled(const MainActions& a) {
    const QAction* actions[] = {a.open,        a.viewJobs,   a.queueProperties, a.deleteQueue,
                                a.resumeQueue, a.pauseQueue, a.purgeQueue};
    QString text = "ovqdrpu";
    for (int i = 0; i < text.size(); ++i) {
        text[i] = actions[i]->isEnabled() ? text[i] : '-';
    }
    return text;
}

TEST_F(MainWindowTest, CommandsFollowTheSelectionActOnItsQueueAndOpenItsDialogs) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("held").AddQueue("far",
                                                                          "farq,10.0.0.1,515,"));
    ASSERT_TRUE(Spooler().PausePrinter("held"));
    StoreJob(*Queue("held"), 1, "ann", "pc1");
    Window().Refresh();
    const std::pair<const char*, const char*> enabled[] = {
        {nullptr, "-------"},
        {QueueListModel::kAddPrinterCaption, "o------"},
        {"lp", "ovqd-p-"},
        {"held", "ovqdr-u"}};
    for (const auto& [row, letters] : enabled) {
        Window().QueueSelection()->clear();
        if (row != nullptr) {
            Select(row);
        }
        EXPECT_EQ(Enabled(Actions()), letters) << (row ? row : "no selection");
    }

    // Each command opens its dialog on the selected queue.
    Window().show();
    const MainActions& a = Actions();
    ModalAnswerer answerer;
    Select("far");
    a.queueProperties->trigger();
    Select("lp");
    a.queueProperties->trigger();
    a.open->trigger();
    a.general->trigger();
    a.logging->trigger();
    EXPECT_EQ(answerer.Titles(),
              QStringList({"Remote Printer Properties", "Local Printer Properties",
                           "View Printer Queue: lp", "General Settings", "Logging Options"}));

    // The commands reach the engine, and the list shows it at once.
    a.pauseQueue->trigger();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Pause);
    EXPECT_EQ(Cell(1, QueueListModel::kStatus), "pause");
    StoreJob(*Queue("lp"), 1, "ann", "pc1");
    Window().Refresh();
    a.purgeQueue->trigger();
    EXPECT_EQ(Queue("lp")->JobCount(), 0u);
    a.resumeQueue->trigger();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);

    // Delete asks; the spooler refuses a running queue and says why; a paused one goes.
    answerer.SetAnswer(QMessageBox::No);
    a.deleteQueue->trigger();
    answerer.SetAnswer(QMessageBox::Yes);
    a.deleteQueue->trigger();
    EXPECT_EQ(answerer.Texts().size(), 3);
    a.pauseQueue->trigger();
    a.deleteQueue->trigger();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "held", "far"}));
    EXPECT_EQ(QueueEntry("lp"), "<none>");

    // Refresh changes rows in place and keeps the selection.
    Select("far");
    QSignalSpy resets(Window().QueueModel(), &QAbstractItemModel::modelReset);
    ASSERT_TRUE(Spooler().RemovePrinter("held"));
    ASSERT_TRUE(Spooler().AddPrinter(std::make_shared<PrintQueue>("new")));
    Window().Refresh();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "far", "new"}));
    EXPECT_EQ(Window().SelectedQueue(), Queue("far"));
    EXPECT_EQ(resets.count(), 0);
}

// Each standard key triggers its action, and only where it belongs: in the filter box Delete,
// Space and Return are the box's own.
TEST_F(MainWindowTest, KeysTriggerTheirActionsWhereTheyBelong) {
    Start(TestConfig().AddLocalQueue("lp"));
    Window().show();
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    Select("lp");
    const MainActions& a = Actions();
    QWidget* list = Window().QueueView();
    QWidget* filter = Window().Messages()->FilterEdit();
    // The key, where the focus is, the action it triggers (null: none).
    const std::tuple<QKeyCombination, QWidget*, QAction*> cases[] = {
        {Qt::CTRL | Qt::Key_Q, list, a.exit},
        {Qt::Key_F1, filter, a.contents},
        {Qt::Key_F5, filter, a.refresh},
        {Qt::CTRL | Qt::Key_N, list, a.addQueue},
        {Qt::CTRL | Qt::Key_Comma, list, a.general},
        {Qt::Key_Return, list, a.open},
        {Qt::Key_Space, list, a.open},
        {Qt::Key_Delete, list, a.deleteQueue},
        {Qt::Key_Delete, filter, nullptr},
        {Qt::Key_Space, filter, nullptr},
        {Qt::Key_Return, filter, nullptr},
    };

    // Only the test sees the actions: which one each key triggered, if any.
    QList<QAction*> triggered;
    for (QAction* action : Window().findChildren<QAction*>()) {
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        QObject::connect(action, &QAction::triggered, action, [&, action] { triggered << action; });
    }
    for (const auto& [key, focus, action] : cases) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        triggered.clear();
        focus->setFocus();
        QTest::keyClick(focus, key.key(), key.keyboardModifiers());
        EXPECT_EQ(triggered, action ? QList<QAction*>{action} : QList<QAction*>{});
    }
}

// A job still arriving over loopback: the list, sampling the engine by itself, shows its
// progress before the job is complete.
TEST_F(MainWindowTest, TheProgressOfAJobBeingReceivedReachesTheList) {
    Start(TestConfig()
              .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
              .AddQueue("lp", "nowhere,,,"));
    Window().findChild<QTimer*>("Timer1")->start();
    const std::string control = "Hpc1\nPann\nldfA001pc1\n";
    LoopbackClient client(daemon_->Port());
    for (const std::string& bytes :
         {std::string("\002lp\n"), "\002" + std::to_string(control.size()) + " cfA001pc1\n",
          control + '\0', std::string("\003") + "4000000 dfA001pc1\n"}) {
        client.Send(bytes);
        ASSERT_EQ(client.Receive(1), std::string(1, '\0'));
    }
    client.Send(std::string(1000000, 'x'));
    const QModelIndex cell = Window().QueueModel()->index(1, QueueListModel::kProgress);
    EXPECT_TRUE(WaitFor([&] { return cell.data(ProgressDelegate::kPercentRole).toInt() >= 20; }));
    EXPECT_LT(cell.data(ProgressDelegate::kPercentRole).toInt(), 100);
}

// A job the daemon gives up (undelivered for longer than JobMaxAgeHours) is told to the desktop
// once, unless Options "Desktop Notifications" is off, which the window remembers.
TEST_F(MainWindowTest, AJobGivenUpRaisesOneNotificationUnlessSwitchedOff) {
    Start(TestConfig().Set("GENERAL CONFIGURE", "JobMaxAgeHours", "2").AddQueue("lp", "nowhere,,,"),
          /*activate=*/false);
    QSignalSpy notified(Window().Notifier(), &DesktopNotifier::Notified);
    StoreJob(*Queue("lp"), 1, "ann", "pc1", {}, "", std::time(nullptr) - 7200);
    Spooler().ActivateLPD(true);
    ASSERT_TRUE(WaitFor([&] { return notified.count() >= 1; }));
    QTest::qWait(50);  // a second one would come at once
    ASSERT_EQ(notified.count(), 1);
    EXPECT_EQ(notified[0][0].toString(), "Print queue lp");

    Actions().notifications->trigger();
    Reopen();
    EXPECT_FALSE(Window().Notifier()->Enabled());
}

QStringList Lines(const QAbstractItemModel& model) {
    QStringList lines;
    for (int row = 0; row < model.rowCount(); ++row) {
        lines << model.index(row, 0).data().toString();
    }
    return lines;
}

// 8 threads log 80 lines each while the window takes them: every line arrives, each thread's
// in its order. Lines still pending when the window goes are dropped without a crash.
TEST_F(MainWindowTest, LinesFromManyThreadsArriveInTheirOrderOrGoWithTheWindow) {
    Start();
    Window().Messages()->Clear();
    constexpr int kThreads = 8;
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([t] {
                for (int i = 0; i < 80; ++i) {
                    systemLog.Log(1, "writer %d line %03d\n", t, i);
                }
            });
        }
        QCoreApplication::processEvents();  // the window thread takes lines meanwhile
    }
    ASSERT_TRUE(
        WaitFor([this] { return Window().Messages()->Lines()->rowCount() == kThreads * 80; }));
    const QRegularExpression line(R"( writer (\d) line (\d{3})$)");
    int next[kThreads] = {};
    for (const QString& text : Lines(*Window().Messages()->Lines())) {
        const QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        EXPECT_EQ(match.captured(2).toInt(), next[match.captured(1).toInt()]++);
    }

    std::thread late([] {
        for (int i = 0; i < 200; ++i) {
            systemLog.Log(1, "late line %d\n", i);
        }
    });
    window_.reset();
    late.join();
    QCoreApplication::processEvents();
}

TEST_F(MainWindowTest, MessageFilterCopyAndSave) {
    MessagePane pane;
    const QStringList texts = {
        "LPD Daemon is ready to accept print request.",
        "Error - SendJob() : print queue far : send() fails",
        "LPD Daemon is paused.  No more print request will be accepted.",
        "RemovePriner() fail.  Print queue (lp) not exist.",
    };
    for (const QString& text : texts) {
        pane.AddLine(text);
    }
    const auto shown = [&pane](const QString& text, int minimum) {  // minimum: a severity entry
        Enter(pane.FilterEdit(), text);
        pane.SeverityBox()->setCurrentIndex(minimum);
        return Lines(*pane.Shown());
    };
    EXPECT_EQ(shown("print queue (LP)", 0), QStringList{texts[3]});
    EXPECT_EQ(shown("daemon", 1), QStringList{texts[2]});
    EXPECT_EQ(shown("", 2), QStringList({texts[1], texts[3]}));  // kept for what follows

    // Copy takes the selected shown lines in order; Save As the shown lines.
    pane.View()->selectionModel()->select(pane.Shown()->index(1, 0), QItemSelectionModel::Select);
    pane.View()->selectionModel()->select(pane.Shown()->index(0, 0), QItemSelectionModel::Select);
    pane.View()->findChild<QAction*>("actCopyMessages")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), texts[1] + "\n" + texts[3]);
    TempDir dir("pgmessages");
    ASSERT_TRUE(pane.SaveShownLines(QString::fromStdString(dir / "saved.log")));
    EXPECT_EQ(ReadFile(dir / "saved.log"), (texts[1] + "\n" + texts[3] + "\n").toStdString());
}

// Worker messages are posted in order without waiting (the window thread is not processing
// events: a waiting worker would never finish). Going away releases a waiting thread and
// drops its box.
TEST(OperatorMessageBoxesTest, WorkerMessagesArePostedInOrderAndReleasedWhenTheyGo) {
    auto boxes = std::make_unique<OperatorMessageBoxes>();
    ModalAnswerer answerer;
    std::future<void> worker = std::async(std::launch::async, [] {
        OperatorMessage::Show(nullptr, "Winsock Error", "bind() failed");
        OperatorMessage::Show(nullptr, "Error", "Printer not exist!");
    });
    ASSERT_EQ(worker.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(WaitFor([&] { return answerer.Titles().size() == 2; }));
    EXPECT_EQ(answerer.Texts(), QStringList({"bind() failed", "Printer not exist!"}));

    worker = std::async(std::launch::async,
                        [] { OperatorMessage::Show(nullptr, "Error", "socket() failed"); });
    ASSERT_TRUE(WaitUntil([&] { return boxes->WaitingThreads() == 1; }));
    boxes.reset();
    EXPECT_EQ(worker.wait_for(10s), std::future_status::ready);
    QCoreApplication::processEvents();
    EXPECT_EQ(answerer.Titles().size(), 2);
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
    answerer.SetInspector([&] {
        replyWhileOpen = waiting.Receive(1, 200ms);
        LoopbackClient other(daemon.Port());
        other.Send("\002lp\n");
        otherReply = other.Receive(1);
    });
    ASSERT_TRUE(WaitFor([&] { return answerer.Titles().size() == 1; }, 20000));
    EXPECT_TRUE(answerer.Texts()[0].contains("nohost.invalid"));
    EXPECT_EQ(replyWhileOpen, "");
    EXPECT_EQ(otherReply, std::string(1, '\0'));
    // Answered: the waiting connection gets its refusal.
    EXPECT_EQ(waiting.Receive(1, 10s), std::string(1, '\1'));
}

}  // namespace
}  // namespace pg::test
