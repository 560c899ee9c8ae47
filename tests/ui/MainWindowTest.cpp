// The main window over a real daemon: layout, queue list and refresh, view styles, daemon
// switch, clock, show procedure, the message window fed by the system log, about.

#include <thread>
#include <vector>

#include "log/LogFile.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/TrayIcon.h"

namespace pg::test {
namespace {

using MainWindowTest = MainWindowFixture;

// "ddd dd mmm yyyy  hh:mm:ss am/pm"
const QString kStamp = R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) \d\d )"
                       R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4}  )"
                       R"((0[1-9]|1[0-2]):[0-5]\d:[0-5]\d (am|pm))";

QStringList Lines(const TPressgate& window) {
    QStringList lines;
    for (int i = 0; i < window.MessageList()->count(); ++i) {
        lines << window.MessageList()->item(i)->text();
    }
    return lines;
}

TEST_F(MainWindowTest, TextsOfMenusToolbarListAndStatusBarAndTheLinesWrittenOnShow) {
    Start();
    EXPECT_EQ(Window().windowTitle(), "Pressgate");
    EXPECT_EQ(Window().size(), QSize(578, 365));
    EXPECT_EQ(MenuItems("File"),
              QStringList({"Open", "-", "Activate Queue", "Pause Printing", "-", "Purge Documents",
                           "Delete Print Queue", "Queue Properties", "-", "Exit"}));
    EXPECT_EQ(MenuItems("View"), QStringList({"Toolbar", "Statusbar", "-", "Large Icons",
                                              "Small Icons", "List", "Detail", "-", "Refresh"}));
    EXPECT_EQ(MenuItems("Options"), QStringList({"Activate LPD", "-", "General", "Logging", "-",
                                                 "Clear message window"}));
    EXPECT_EQ(MenuItems("Help"), QStringList({"Contents", "About"}));

    QStringList toolTips;
    for (QAction* action : Window().findChild<QToolBar*>("ToolBar1")->actions()) {
        if (!action->isSeparator() && !action->toolTip().isEmpty()) {
            toolTips << action->toolTip();
            EXPECT_FALSE(action->icon().isNull()) << action->toolTip().toStdString();
        }
    }
    EXPECT_EQ(toolTips, QStringList({"Activate LPD", "De-activate LPD", "Queue Properties",
                                     "View Printer Queue", "Delete Printer Queue", "Resume Queue",
                                     "Pause Queue", "Clear Message Window", "Large Icon View",
                                     "Small Icon View", "List View", "Detail View"}));

    auto* detail = Window().findChild<QTreeView*>("ListView1");
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->toolTip(), "Printer Queue Window");
    const std::pair<const char*, int> columns[] = {
        {"Name", 160}, {"Jobs", 50}, {"Status", 60}, {"Comments", 226}};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(Window().QueueModel()->headerData(column, Qt::Horizontal).toString(),
                  columns[column].first);
        EXPECT_EQ(detail->columnWidth(column), columns[column].second);
    }
    EXPECT_EQ(Window().MessageList()->toolTip(), "System Message Window");
    ASSERT_EQ(Window().MessageList()->actions().size(), 1);
    EXPECT_EQ(Window().MessageList()->actions().first()->text(), "Clear List");
    EXPECT_EQ(Window().findChild<QLabel*>("StatusPanel1")->width(), 300);
    EXPECT_EQ(Window().findChild<QLabel*>("StatusPanel2")->width(), 100);

    // Shown, the message window begins with the program and host lines.
    Window().show();
    const QStringList lines = Lines(Window());
    const QString patterns[] = {R"(Pressgate \d+\.\d+\.\d+ on Linux \S+)",
                                kStamp + R"(  Local Hostname: \S+)",
                                kStamp + R"(  Local IP Address: \d+\.\d+\.\d+\.\d+)"};
    ASSERT_GE(lines.size(), 3) << lines.join('\n').toStdString();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(QRegularExpression("^" + patterns[i] + "$").match(lines[i]).hasMatch())
            << lines[i].toStdString();
    }
}

TEST_F(MainWindowTest, QueueRowsWithoutQueuesAndAfterTheSpoolerLosesItsLast) {
    Start();
    for (int pass = 0; pass < 2; ++pass) {  // before and after a refresh
        ASSERT_EQ(Rows(), 1);
        EXPECT_EQ(Row(0), QStringList({"Add Printer", "", "", "Double click to add a printer"}));
        EXPECT_EQ(Image(0), 0);
        Window().UpdateListView();
    }

    Start(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,10.0.0.1,515,"));
    Window().UpdateListView();
    EXPECT_EQ(Row(0), QStringList({"Add Printer", "", "", ""}));  // the comment goes
    EXPECT_EQ(Row(1), QStringList({"lp", "0", "Initial", "Print in local/LAN printer - lp"}));
    EXPECT_EQ(Row(2), QStringList({"far", "0", "Initial", ""}));
    EXPECT_EQ(QList<int>({Image(0), Image(1), Image(2)}), QList<int>({0, 1, 2}));
    Spooler().ActivateLPD(true);
    Queue("lp")->SetStatusText("This print queue is ready");
    Window().UpdateListView();
    EXPECT_EQ(Row(1), QStringList({"lp", "0", "running", "This print queue is ready"}));

    // With no queue left the refresh does nothing: the list keeps its rows and selection.
    Spooler().ActivateLPD(false);
    Select("lp");
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    ASSERT_TRUE(Spooler().RemovePrinter("far"));
    Window().UpdateListView();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp", "far"}));
    EXPECT_EQ(Window().SelectedQueueCaption(), "lp");
}

TEST_F(MainWindowTest, RefreshKeepsTheSelectionByWholeCaptionIgnoringCase) {
    Start(TestConfig().AddLocalQueue("Alpha").AddLocalQueue("beta").AddLocalQueue("lp"));
    Window().UpdateListView();
    Select("beta");
    Window().UpdateListView();
    EXPECT_EQ(Window().SelectedQueueCaption(), "beta");

    // Alpha replaced by ALPHA elsewhere: the selection follows the letters.
    Select("Alpha");
    ASSERT_TRUE(Spooler().RemovePrinter("Alpha"));
    ASSERT_TRUE(Spooler().AddPrinter(std::make_shared<PrintQueue>("ALPHA")));
    Window().UpdateListView();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "beta", "lp", "ALPHA"}));
    EXPECT_EQ(Window().SelectedQueueCaption(), "ALPHA");

    // lp removed elsewhere: lpx only starts like it, so nothing stays selected.
    Select("lp");
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    ASSERT_TRUE(Spooler().AddPrinter(std::make_shared<PrintQueue>("lpx")));
    Window().UpdateListView();
    EXPECT_EQ(Window().SelectedQueueCaption(), "");
    EXPECT_TRUE(Window().QueueSelection()->selectedIndexes().isEmpty());
}

TEST_F(MainWindowTest, ViewStylesBarsMenuItemsAndButtonsStayInStep) {
    Start(TestConfig().AddLocalQueue("lp"));
    Window().show();
    Select("lp");
    // Menu item and button of each style, in the order of the styles.
    const char* styles[][2] = {{"Large Icons", "Large Icon View"},
                               {"Small Icons", "Small Icon View"},
                               {"List", "List View"},
                               {"Detail", "Detail View"}};
    auto expectOnly = [&](int chosen) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(MenuItem("View", styles[i][0])->isChecked(), i == chosen) << i;
            EXPECT_EQ(ToolButton(styles[i][1])->isChecked(), i == chosen) << i;
        }
        EXPECT_EQ(Window().CurrentViewStyle(), static_cast<TPressgate::ViewStyle>(chosen));
        EXPECT_TRUE(Window().QueueView()->isVisible());
        EXPECT_EQ(Window().SelectedQueueCaption(), "lp");  // one selection for every style
    };
    expectOnly(3);  // Detail to begin with
    for (int i = 0; i < 4; ++i) {
        MenuItem("View", styles[i][0])->trigger();
        expectOnly(i);
        ToolButton(styles[(i + 2) % 4][1])->click();
        expectOnly((i + 2) % 4);
    }
    ToolButton("List View")->click();
    auto* list = qobject_cast<QListView*>(Window().QueueView());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->viewMode(), QListView::ListMode);
    EXPECT_EQ(list->iconSize(), QSize(16, 16));
    ToolButton("Large Icon View")->click();
    EXPECT_EQ(list->viewMode(), QListView::IconMode);
    EXPECT_EQ(list->iconSize(), QSize(32, 32));

    QWidget* bars[] = {Window().findChild<QToolBar*>("ToolBar1"), Window().statusBar()};
    QAction* items[] = {MenuItem("View", "Toolbar"), MenuItem("View", "Statusbar")};
    for (int i = 0; i < 2; ++i) {
        for (const bool shown : {true, false, true}) {  // shown to begin with
            EXPECT_EQ(bars[i]->isVisible(), shown) << i;
            EXPECT_EQ(items[i]->isChecked(), shown) << i;
            items[i]->trigger();
        }
    }
}

TEST_F(MainWindowTest, DaemonSwitchKeepsMenuCheckAndButtonPairInStep) {
    Start(TestConfig().AddLocalQueue("lp"), /*activate=*/true);
    Window().show();
    QAction* menu = MenuItem("Options", "Activate LPD");
    QToolButton* on = ToolButton("Activate LPD");
    QToolButton* off = ToolButton("De-activate LPD");
    const auto queue = Queue("lp");
    auto expectShown = [&](bool running, QueueState state) {
        EXPECT_EQ(menu->isChecked(), running);
        EXPECT_EQ(on->isChecked(), running);
        EXPECT_EQ(off->isChecked(), !running);
        EXPECT_EQ(Spooler().State(), running ? SpoolerState::Running : SpoolerState::Pause);
        EXPECT_EQ(queue->State(), state);
    };
    // Shown over a running daemon, and refreshed on show.
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));
    expectShown(true, QueueState::Running);

    // The menu item toggles; a button that is down already does nothing.
    const std::pair<QObject*, bool> steps[] = {
        {menu, false}, {menu, true}, {off, false}, {off, false}, {on, true}};
    for (const auto& [control, running] : steps) {
        QMetaObject::invokeMethod(control, control == menu ? "trigger" : "click");
        expectShown(running, running ? QueueState::Running : QueueState::Stop);
    }
    // The paused queue stays paused.
    ASSERT_TRUE(Spooler().PausePrinter("lp"));
    on->click();
    expectShown(true, QueueState::Pause);
}

TEST_F(MainWindowTest, ClockClosesTheSplashOnItsFourthTickThenRefreshesEveryTwelve) {
    Start(TestConfig().AddLocalQueue("lp"));
    QWidget splash;
    splash.show();
    Window().SetSplash(&splash);
    for (int tick = 1; tick <= 3; ++tick) {
        Window().ClockTick();
        EXPECT_TRUE(splash.isVisible()) << tick;
    }
    Window().ClockTick();
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(Window().findChild<QLabel*>("StatusPanel3")->text().isEmpty());

    Window().UpdateListView();
    for (const bool activate : {true, false}) {
        const char* before = activate ? "Initial" : "running";
        Spooler().ActivateLPD(activate);
        for (int tick = 1; tick <= 11; ++tick) {
            Window().ClockTick();
        }
        EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), before);
        Window().ClockTick();
        EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), activate ? "running" : "stop");
    }
}

TEST_F(MainWindowTest, MinimizeOnStartupOnlyForYesOrY) {
    Start(TestConfig().Set("GENERAL CONFIGURE", "MinimizeOnStartup", "Yes please"));
    Window().show();
    QCoreApplication::processEvents();  // the minimising would be posted
    QCoreApplication::processEvents();
    EXPECT_FALSE(Window().isMinimized());

    Start(TestConfig().Set("GENERAL CONFIGURE", "MinimizeOnStartup", "y"));
    Window().show();
    // No notification area offscreen: the window is only minimised.
    EXPECT_TRUE(WaitFor([this] { return Window().isMinimized(); }));
    EXPECT_FALSE(Window().Tray()->IsShown());
    Window().RestoreApplication();
    EXPECT_FALSE(Window().isMinimized());
    EXPECT_TRUE(Window().isVisible());
}

// --- message window ----------------------------------------------------------------------------

// 8 threads log 80 lines each while the window takes them: more than the window keeps, so what
// stays is the newest 501 lines, stamped, each thread's in its order up to its last. Lines
// still pending when the window goes are dropped.
TEST_F(MainWindowTest, MessageLinesFromManyThreadsKeepTheirOrderUnderTheCapOrGoWithTheWindow) {
    Start();
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 80;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLinesEach; ++i) {
                systemLog.Log(1, "writer %d line %03d\n", t, i);
            }
        });
    }
    QCoreApplication::processEvents();  // the window thread takes lines meanwhile
    for (auto& writer : writers) {
        writer.join();
    }
    systemLog.Log(1, "all written\n");
    ASSERT_TRUE(WaitFor([this] {
        const QStringList lines = Lines(Window());
        return !lines.isEmpty() && lines.last().endsWith(" all written");
    }));

    const QStringList lines = Lines(Window());
    EXPECT_EQ(lines.size(), 501);
    const QRegularExpression line("^" + kStamp + R"( writer (\d) line (\d{3})$)");
    int next[kThreads];
    std::fill(std::begin(next), std::end(next), -1);
    for (const QString& text : lines.mid(0, lines.size() - 1)) {
        const QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        const int t = match.captured(5).toInt();
        const int number = match.captured(6).toInt();
        EXPECT_TRUE(next[t] == -1 || number == next[t]) << text.toStdString();
        next[t] = number + 1;
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(next[t] == -1 || next[t] == kLinesEach) << t;  // a thread's newest stay
    }

    // Must not crash (ASan, TSan): the window goes while a writer logs and its drain is pending.
    std::thread late([] {
        for (int i = 0; i < 200; ++i) {
            systemLog.Log(1, "late line %d\n", i);
        }
    });
    window_.reset();
    late.join();
    systemLog.Log(1, "after the window\n");
    QCoreApplication::processEvents();
}

TEST_F(MainWindowTest, MessageWindowKeepsFiveHundredLinesBeforeEachNewOne) {
    Start();
    QListWidget* list = Window().MessageList();
    list->clear();
    for (int i = 0; i < 500; ++i) {
        Window().AddMessageLine(QString("line %1").arg(i));
    }
    EXPECT_EQ(list->count(), 500);
    Window().AddMessageLine("line 500");
    EXPECT_EQ(list->count(), 501);
    EXPECT_EQ(list->item(0)->text(), "line 0");
    Window().AddMessageLine("line 501");
    EXPECT_EQ(list->count(), 501);
    EXPECT_EQ(list->item(0)->text(), "line 1");
    EXPECT_EQ(list->item(list->count() - 1)->text(), "line 501");
    EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());

    for (QAction* clear : {list->actions().first(), MenuItem("Options", "Clear message window"),
                           ToolButton("Clear Message Window")->defaultAction()}) {
        Window().AddMessageLine("something");
        clear->trigger();
        EXPECT_EQ(list->count(), 0) << clear->text().toStdString();
    }
}

// --- about -----------------------------------------------------------------------------------

TEST_F(MainWindowTest, AboutComesFromItsLibraryOrSaysItIsMissing) {
    Start();
    ASSERT_TRUE(QDir(QCoreApplication::applicationDirPath()).exists("libpgabout.so"));
    ModalAnswerer answerer;
    MenuItem("Help", "About")->trigger();
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].title, "About Pressgate");
    EXPECT_TRUE(answerer.All()[0].text.contains("Version " PRESSGATE_VERSION_TEXT));

    // No library, or a file of that name that is no library.
    TempDir empty("pgnoabout");
    Window().SetAboutLibraryDirectory(QString::fromStdString(empty.Path()));
    for (int pass = 0; pass < 2; ++pass) {
        answerer.Clear();
        MenuItem("Help", "About")->trigger();
        EXPECT_EQ(answerer.Texts(), QStringList({"Cant Locate PGABOUT.DLL !!!"})) << pass;
        EXPECT_EQ(answerer.All()[0].title, "Pressgate");
        WriteFile(empty / "libpgabout.so", "not a library\n");
    }
}

}  // namespace
}  // namespace pg::test
