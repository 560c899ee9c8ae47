// The main window over a real daemon: which commands are enabled when, what they do to the
// engine, the dialogs and help topics they open, the list kept up to date in place, its keys,
// progress, notifications, the about box.

#include "tests/ui/WindowFixture.h"
#include "ui/DesktopNotifier.h"
#include "ui/HelpWindow.h"
#include "ui/MessagePane.h"
#include "ui/ProgressDelegate.h"

namespace pg::test {
namespace {

using MainWindowTest = WindowFixture;

// The enabled queue commands as letters, '-' for a disabled one.
QString Enabled(const MainActions& a) {
    QString text;
    for (const auto& [action, letter] : {std::pair{a.open, 'o'},
                                         {a.viewJobs, 'v'},
                                         {a.queueProperties, 'q'},
                                         {a.deleteQueue, 'd'},
                                         {a.resumeQueue, 'r'},
                                         {a.pauseQueue, 'p'},
                                         {a.purgeQueue, 'u'}}) {
        text += action->isEnabled() ? QChar(letter) : QChar('-');
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

    // Each command opens its dialog on the selected queue, and each window's Help its own topic
    // of the help file shipped beside the program.
    Window().show();
    const MainActions& a = Actions();
    ModalAnswerer answerer;
    QStringList titles;
    QSet<int> topics;
    const auto help = [&](const QString& heading) {  // a help window shows heading's topic
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<HelpWindow*>(widget);
            if (shown && shown->isVisible() && shown->Browser()->toPlainText().contains(heading)) {
                topics << shown->Topic();
            }
        }
    };
    answerer.SetInspector([&](const ModalAnswerer::Seen& seen) {
        titles << seen.title;
        Press(QApplication::activeModalWidget(), "helpButton");
        help(seen.title.section(':', 0, 0));
    });
    Select("far");
    a.queueProperties->trigger();
    Select("lp");
    a.queueProperties->trigger();
    a.open->trigger();
    a.general->trigger();
    a.logging->trigger();
    EXPECT_EQ(titles,
              QStringList({"Remote Printer Properties", "Local Printer Properties",
                           "View Printer Queue: lp", "General Settings", "Logging Options"}));
    a.contents->trigger();
    help("Pressgate Help");
    a.addQueue->trigger();
    Window().Wizard()->button(QWizard::HelpButton)->click();
    help("Add Printer: Create LPD Queue");
    EXPECT_EQ(topics.size(), 7);
    answerer.SetInspector(nullptr);

    // The commands reach the engine, and the list shows it at once.
    answerer.Clear();
    a.pauseQueue->trigger();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Pause);
    EXPECT_EQ(Cell(1, QueueListModel::kStatus), "pause");
    StoreJob(*Queue("lp"), 1, "ann", "pc1");
    StoreJob(*Queue("lp"), 2, "bob", "pc2");
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
    EXPECT_EQ(answerer.Texts().last(), "Please stop the print queue before delete it.");
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
// Space and Return are the box's own. Tab walks every control under the toolbar in reading order.
TEST_F(MainWindowTest, KeysTriggerTheirActionsWhereTheyBelong) {
    Start(TestConfig().AddLocalQueue("lp"));
    Window().show();
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    Select("lp");
    const MainActions& a = Actions();
    QWidget* list = Window().QueueView();
    QWidget* filter = Window().Messages()->FilterEdit();
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        QWidget* focus;
        QAction* action;  // null: none
    } cases[] = {
        {Qt::Key_Q, Qt::ControlModifier, list, a.exit},
        {Qt::Key_F1, {}, filter, a.contents},
        {Qt::Key_F5, {}, filter, a.refresh},
        {Qt::Key_N, Qt::ControlModifier, list, a.addQueue},
        {Qt::Key_Comma, Qt::ControlModifier, list, a.general},
        {Qt::Key_Return, {}, list, a.open},
        {Qt::Key_Space, {}, list, a.open},
        {Qt::Key_Delete, {}, list, a.deleteQueue},
        {Qt::Key_Delete, {}, filter, nullptr},
        {Qt::Key_Space, {}, filter, nullptr},
        {Qt::Key_Return, {}, filter, nullptr},
    };
    list->setFocus();
    QWidgetList reached;
    for (int i = 0; i < 4; ++i) {
        reached << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(reached, QWidgetList({list, filter, Window().Messages()->SeverityBox(),
                                    Window().Messages()->View()}));

    // Only the spies see the actions: which one each key triggered, if any.
    std::vector<std::pair<QAction*, std::unique_ptr<QSignalSpy>>> spies;
    for (QAction* action : Window().findChildren<QAction*>()) {
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        spies.emplace_back(action, std::make_unique<QSignalSpy>(action, &QAction::triggered));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        c.focus->setFocus();
        QTest::keyClick(c.focus, static_cast<Qt::Key>(c.key), c.modifiers);
        QList<QAction*> triggered;
        for (auto& [action, spy] : spies) {
            if (!spy->isEmpty()) {
                triggered << action;
            }
            spy->clear();
        }
        EXPECT_EQ(triggered, c.action ? QList<QAction*>{c.action} : QList<QAction*>{});
    }
}

// A job still arriving over loopback: the list, sampling the engine by itself, shows its
// progress before the job is complete.
TEST_F(MainWindowTest, TheProgressOfAJobBeingReceivedReachesTheList) {
    Start(
        TestConfig().Set("GENERAL CONFIGURE", "TestPrintManager", "N").AddQueue("lp", "nowhere,,,"),
        /*activate=*/true, /*sampling=*/true);
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

TEST_F(MainWindowTest, AboutComesFromItsLibraryOrSaysItIsMissing) {
    Start();
    ModalAnswerer answerer;
    Actions().about->trigger();
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_TRUE(answerer.All()[0].text.contains("Version " PRESSGATE_VERSION_TEXT));
    TempDir empty("pgnoabout");
    WriteFile(empty / "libpgabout.so", "not a library\n");
    Window().SetAboutLibraryDirectory(QString::fromStdString(empty.Path()));
    answerer.Clear();
    Actions().about->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"Cannot locate libpgabout.so."}));
}

}  // namespace
}  // namespace pg::test
