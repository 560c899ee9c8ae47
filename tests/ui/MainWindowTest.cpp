// The main window over a real daemon: which commands are enabled when, the keys, what the
// commands do to the engine and which dialogs they open, the list kept up to date in place,
// what the window remembers, the help topics, the about box.

#include "tests/ui/WindowFixture.h"
#include "ui/DesktopNotifier.h"
#include "ui/GeneralSettingsDialog.h"
#include "ui/HelpWindow.h"
#include "ui/LocalQueueDialog.h"
#include "ui/LoggingDialog.h"
#include "ui/MessagePane.h"
#include "ui/ProgressDelegate.h"
#include "ui/QueueJobsDialog.h"
#include "ui/QueueKindPage.h"
#include "ui/RemoteQueueDialog.h"
#include "ui/TrayIcon.h"

namespace pg::test {
namespace {

using MainWindowTest = WindowFixture;

// The enabled queue commands as letters, '-' for a disabled one.
QString Enabled(const MainActions& a) {
    const std::pair<QAction*, char> letters[] = {
        {a.open, 'o'},        {a.viewJobs, 'v'},   {a.queueProperties, 'q'}, {a.deleteQueue, 'd'},
        {a.resumeQueue, 'r'}, {a.pauseQueue, 'p'}, {a.purgeQueue, 'u'}};
    QString text;
    for (const auto& [action, letter] : letters) {
        text += action->isEnabled() ? QChar(letter) : QChar('-');
    }
    return text;
}

TEST_F(MainWindowTest, CommandsAreEnabledFromTheSelectionAndOneDaemonActionSwitchesEverywhere) {
    Start(TestConfig().AddLocalQueue("lp").AddLocalQueue("held"));
    ASSERT_TRUE(Spooler().PausePrinter("held"));
    AddSizedJob(*Queue("held"), 1, "ann", "pc1", 300);
    Window().Refresh();
    const struct {
        const char* row;  // null: nothing selected
        const char* enabled;
    } cases[] = {
        {nullptr, "-------"},
        {QueueListModel::kAddPrinterCaption, "o------"},
        {"lp", "ovqd-p-"},
        {"held", "ovqdr-u"},
    };
    for (const auto& c : cases) {
        Window().QueueSelection()->clear();
        if (c.row != nullptr) {
            Select(c.row);
        }
        EXPECT_EQ(Enabled(Actions()), c.enabled) << (c.row ? c.row : "no selection");
    }

    // The toolbar's daemon button, the menu item and the tray's picture are one action.
    Window().show();
    auto* button = qobject_cast<QToolButton*>(
        Window().findChild<QToolBar*>("ToolBar1")->widgetForAction(Actions().daemon));
    ASSERT_NE(button, nullptr);
    for (const bool running : {false, true}) {
        button->click();
        EXPECT_EQ(Spooler().State() == SpoolerState::Running, running);
        EXPECT_EQ(Actions().daemon->isChecked(), running);
        EXPECT_EQ(Window().Tray()->ShowsRunning(), running);
    }
    // Switched elsewhere, the check mark follows at the next sample; the stopped queue can be
    // resumed (the spooler will say why not).
    Spooler().ActivateLPD(false);
    Select("lp");
    Window().Refresh();
    EXPECT_FALSE(Actions().daemon->isChecked());
    EXPECT_EQ(Enabled(Actions()), "ovqdr--");
}

TEST_F(MainWindowTest, CommandsActOnTheSelectedQueueAndOpenItsDialogs) {
    Start(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,10.0.0.1,515,"));
    Window().show();
    const MainActions& a = Actions();
    ModalAnswerer answerer;
    // Each dialog gets the queue it shows; the context menu comes over a queue only.
    Select("far");
    a.queueProperties->trigger();
    Select("lp");
    a.queueProperties->trigger();
    a.open->trigger();
    a.general->trigger();
    a.logging->trigger();
    auto* view = qobject_cast<QTreeView*>(Window().QueueView());
    emit view->customContextMenuRequested(view->visualRect(view->currentIndex()).center());
    Select(QueueListModel::kAddPrinterCaption);
    emit view->customContextMenuRequested(view->visualRect(view->currentIndex()).center());
    QStringList seen;
    for (const auto& each : answerer.All()) {
        seen << (each.className == "QMenu" ? QString("menu") : each.title);
    }
    EXPECT_EQ(seen, QStringList({"Remote Printer Properties", "Local Printer Properties",
                                 "View Printer Queue: lp", "General Settings", "Logging Options",
                                 "menu"}));
    // "Add Printer" opens the wizard, which leaves the window usable.
    a.open->trigger();
    ASSERT_NE(Window().Wizard(), nullptr);
    EXPECT_TRUE(Window().Wizard()->isVisible());
    EXPECT_FALSE(Window().Wizard()->isModal());

    // The commands reach the engine, and the list shows it at once.
    answerer.Clear();
    Select("lp");
    a.pauseQueue->trigger();
    EXPECT_EQ(Cell(1, QueueListModel::kStatus), "pause");
    AddSizedJob(*Queue("lp"), 1, "ann", "pc1", 300);
    AddSizedJob(*Queue("lp"), 2, "bob", "pc2", 300);
    Window().Refresh();
    a.purgeQueue->trigger();
    EXPECT_EQ(Queue("lp")->JobCount(), 0u);
    EXPECT_EQ(Cell(1, QueueListModel::kComments), "The print queue is purged");
    a.resumeQueue->trigger();
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
    EXPECT_EQ(answerer.Count(), 0);

    // Delete asks; the spooler refuses a running queue and says why; a paused one goes with
    // its row and its entry.
    answerer.SetAnswer(QMessageBox::No);
    a.deleteQueue->trigger();
    answerer.SetAnswer(QMessageBox::Yes);
    a.deleteQueue->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"Are you sure you want to delete this queue? ",
                                             "Are you sure you want to delete this queue? ",
                                             "Please stop the print queue before delete it."}));
    a.pauseQueue->trigger();
    a.deleteQueue->trigger();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "far"}));
    EXPECT_EQ(QueueEntry("lp"), "<none>");
    EXPECT_EQ(Window().SelectedQueue(), nullptr);

    // Resuming while the daemon is off: the spooler's reason.
    answerer.Clear();
    a.daemon->trigger();
    Select("far");
    a.resumeQueue->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"Please activate the LPD daemon first."}));
}

TEST_F(MainWindowTest, RefreshChangesRowsInPlaceAndKeepsTheSelection) {
    Start(TestConfig(), /*activate=*/false);
    EXPECT_EQ(Captions(), QStringList({"Add Printer"}));
    EXPECT_EQ(Cell(0, QueueListModel::kComments), "Double click to add a printer");

    for (const char* name : {"Alpha", "beta", "lp"}) {
        ASSERT_TRUE(Spooler().AddPrinter(std::make_shared<PrintQueue>(name)));
    }
    Window().Refresh();
    Select("beta");
    QSignalSpy resets(Window().QueueModel(), &QAbstractItemModel::modelReset);
    ASSERT_TRUE(Spooler().RemovePrinter("Alpha"));
    ASSERT_TRUE(Spooler().AddPrinter(std::make_shared<PrintQueue>("ALPHA")));
    Spooler().ActivateLPD(true);
    Window().Refresh();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "beta", "lp", "ALPHA"}));
    ASSERT_NE(Window().SelectedQueue(), nullptr);
    EXPECT_EQ(Window().SelectedQueue()->name, "beta");
    EXPECT_EQ(Cell(1, QueueListModel::kStatus), "running");
    EXPECT_EQ(resets.count(), 0);

    // The selected queue removed elsewhere: nothing is selected.
    Spooler().ActivateLPD(false);
    ASSERT_TRUE(Spooler().RemovePrinter("beta"));
    Window().Refresh();
    EXPECT_TRUE(Window().QueueSelection()->selectedRows().isEmpty());
}

// A 50 MB job sent over loopback a fifth at a time: the list, sampling the engine by itself,
// shows each step of its progress before the job is complete.
TEST_F(MainWindowTest, TheProgressOfAJobBeingReceivedReachesTheList) {
    Start(
        TestConfig().Set("GENERAL CONFIGURE", "TestPrintManager", "N").AddQueue("lp", "nowhere,,,"),
        /*activate=*/true, /*sampling=*/true);
    const std::string control = "Hpc1\nPann\nJbig.ps\nldfA001pc1\n";
    constexpr int kSteps = 5;
    const std::string step(10 * 1024 * 1024, 'x');
    LoopbackClient client(daemon_->Port());
    for (const std::string& bytes :
         {std::string("\002lp\n"), "\002" + std::to_string(control.size()) + " cfA001pc1\n",
          control + '\0', "\003" + std::to_string(kSteps * step.size()) + " dfA001pc1\n"}) {
        client.Send(bytes);
        ASSERT_EQ(client.Receive(1), std::string(1, '\0'));
    }
    const QModelIndex cell = Window().QueueModel()->index(1, QueueListModel::kProgress);
    QStringList seen;
    for (int sent = 1; sent < kSteps; ++sent) {
        client.Send(step);
        ASSERT_TRUE(WaitFor([&] {
            return cell.data(ProgressDelegate::kPercentRole).toInt() >= sent * 100 / kSteps;
        })) << cell.data().toString().toStdString();
        seen << cell.data().toString();
    }
    seen.removeDuplicates();
    EXPECT_EQ(seen.size(), kSteps - 1) << seen.join(" | ").toStdString();
    client.Send(step + '\0');
    EXPECT_EQ(client.Receive(1), std::string(1, '\0'));
}

// A job the daemon gives up (here: undelivered for longer than JobMaxAgeHours) is told to the
// desktop once, with the queue and the reason, unless Options "Desktop Notifications" is off,
// which the window remembers.
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
    EXPECT_TRUE(notified[0][1].toString().contains("given up"))
        << notified[0][1].toString().toStdString();

    Actions().notifications->trigger();
    Window().Notifier()->Notify("Print queue lp", "not shown");
    Reopen();
    EXPECT_FALSE(Actions().notifications->isChecked());
    EXPECT_FALSE(Window().Notifier()->Enabled());
    EXPECT_EQ(notified.count(), 1);
}

// The visible help window; one window serves every topic.
HelpWindow* OpenHelpWindow() {
    HelpWindow* open = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* help = qobject_cast<HelpWindow*>(widget); help && help->isVisible()) {
            EXPECT_EQ(open, nullptr);
            open = help;
        }
    }
    return open;
}

// Each window's Help opens its own topic of the help file shipped beside the program, headed
// like the window.
TEST_F(MainWindowTest, EveryHelpOpensItsWindowsTopic) {
    Start(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,10.0.0.1,515,"));
    LocalQueueDialog local(Spooler(), Queue("lp"));
    RemoteQueueDialog remote(Spooler(), Queue("far"));
    QueueJobsDialog jobs(Spooler(), Queue("lp"));
    GeneralSettingsDialog general(Spooler());
    LoggingDialog logging(Spooler());
    Actions().addQueue->trigger();
    AddQueueWizard& wizard = *Window().Wizard();
    const struct {
        std::function<void()> help;
        const char* heading;
        int context;
    } cases[] = {
        {[&] { Actions().contents->trigger(); }, "Pressgate Help", 1},
        {[&] { Find<QPushButton>(&local, "helpButton")->click(); }, "Local Printer Properties",
         100},
        {[&] { Find<QPushButton>(&remote, "helpButton")->click(); }, "Remote Printer Properties",
         200},
        {[&] { Find<QPushButton>(&jobs, "helpButton")->click(); }, "View Printer Queue", 310},
        {[&] { Find<QPushButton>(&general, "helpButton")->click(); }, "General Settings", 400},
        {[&] { Find<QPushButton>(&logging, "helpButton")->click(); }, "Logging Options", 500},
        {[&] { wizard.button(QWizard::HelpButton)->click(); }, "Add Printer: Create LPD Queue",
         600},
        {[&] {
             wizard.setField(QueueKindPage::kNameField, "r1");
             wizard.setField(QueueKindPage::kRemoteField, true);
             wizard.next();
             wizard.button(QWizard::HelpButton)->click();
         },
         "Add Printer: Remote Host Settings", 700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heading);
        c.help();
        HelpWindow* help = OpenHelpWindow();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->Topic(), c.context);
        EXPECT_TRUE(help->Browser()->toPlainText().contains(c.heading));
    }
}

TEST_F(MainWindowTest, AboutComesFromItsLibraryOrSaysItIsMissing) {
    Start();
    ASSERT_TRUE(QDir(QCoreApplication::applicationDirPath()).exists("libpgabout.so"));
    ModalAnswerer answerer;
    Actions().about->trigger();
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_TRUE(answerer.All()[0].text.contains("Version " PRESSGATE_VERSION_TEXT));

    // No library, or a file of that name that is no library.
    TempDir empty("pgnoabout");
    Window().SetAboutLibraryDirectory(QString::fromStdString(empty.Path()));
    for (int pass = 0; pass < 2; ++pass) {
        answerer.Clear();
        Actions().about->trigger();
        EXPECT_EQ(answerer.Texts(), QStringList({"Cannot locate libpgabout.so."})) << pass;
        WriteFile(empty / "libpgabout.so", "not a library\n");
    }
}

}  // namespace
}  // namespace pg::test
