// The main window's layout, queue list, refresh, view styles, daemon switch, clock and show
// procedure, over a real daemon.

#include <QAction>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <memory>

#include "engine/LPDPrinter.h"
#include "tests/support/TempDir.h"
#include "tests/ui/MainWindowFixture.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/TrayIcon.h"

namespace pg::test {
namespace {

using MainWindowTest = MainWindowFixture;

TestConfig ThreeQueues() {
    return TestConfig().AddLocalQueue("Alpha").AddLocalQueue("beta").AddLocalQueue("lp");
}

TEST_F(MainWindowTest, MenusToolbarListAndStatusBarCarryTheirTexts) {
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
    for (const char* item : {"Toolbar", "Statusbar", "Detail"}) {
        EXPECT_TRUE(MenuItem("View", item)->isChecked()) << item;
    }
    EXPECT_FALSE(MenuItem("Options", "Activate LPD")->isChecked());

    QStringList toolTips;
    for (QAction* action : Window().findChild<QToolBar*>("ToolBar1")->actions()) {
        if (!action->isSeparator() && !action->toolTip().isEmpty() && action->icon().isNull()) {
            ADD_FAILURE() << "toolbar button without a picture: "
                          << action->toolTip().toStdString();
        }
        if (!action->isSeparator() && !action->icon().isNull()) {
            toolTips << action->toolTip();
        }
    }
    EXPECT_EQ(toolTips, QStringList({"Activate LPD", "De-activate LPD", "Queue Properties",
                                     "View Printer Queue", "Delete Printer Queue", "Resume Queue",
                                     "Pause Queue", "Clear Message Window", "Large Icon View",
                                     "Small Icon View", "List View", "Detail View"}));
    EXPECT_TRUE(ToolButton("De-activate LPD")->isChecked());
    EXPECT_FALSE(ToolButton("Activate LPD")->isChecked());
    EXPECT_TRUE(ToolButton("Detail View")->isChecked());

    auto* detail = Window().findChild<QTreeView*>("ListView1");
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->toolTip(), "Printer Queue Window");
    const char* headers[] = {"Name", "Jobs", "Status", "Comments"};
    const int widths[] = {160, 50, 60, 226};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(Window().QueueModel()->headerData(column, Qt::Horizontal).toString(),
                  headers[column]);
        EXPECT_EQ(detail->columnWidth(column), widths[column]);
    }
    EXPECT_EQ(Window().MessageList()->toolTip(), "System Message Window");
    ASSERT_EQ(Window().MessageList()->actions().size(), 1);
    EXPECT_EQ(Window().MessageList()->actions().first()->text(), "Clear List");

    EXPECT_EQ(Window().findChild<QLabel*>("StatusPanel1")->width(), 300);
    EXPECT_EQ(Window().findChild<QLabel*>("StatusPanel2")->width(), 100);
    EXPECT_GE(Window().findChild<QLabel*>("StatusPanel3")->minimumWidth(), 50);
}

TEST_F(MainWindowTest, WithoutQueuesTheListOffersOnlyAddPrinterAndRefreshLeavesIt) {
    Start();
    auto expectInitial = [this] {
        ASSERT_EQ(Rows(), 1);
        EXPECT_EQ(Cell(0, TPressgate::kNameColumn), "Add Printer");
        EXPECT_EQ(Image(0), 0);
        EXPECT_EQ(Cell(0, TPressgate::kJobsColumn), "");
        EXPECT_EQ(Cell(0, TPressgate::kCommentsColumn), "Double click to add a printer");
    };
    expectInitial();
    Window().UpdateListView();
    expectInitial();
    Window().show();  // the show procedure refreshes too
    expectInitial();
}

TEST_F(MainWindowTest, EachQueueHasARowWithImageJobsStateAndComment) {
    Start(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,10.0.0.1,515,"));
    Window().UpdateListView();
    ASSERT_EQ(Captions(), QStringList({"Add Printer", "lp", "far"}));
    EXPECT_EQ(Image(0), 0);
    EXPECT_EQ(Cell(0, TPressgate::kCommentsColumn), "");  // only the initial list has it
    EXPECT_EQ(Image(1), 1);
    EXPECT_EQ(Cell(1, TPressgate::kJobsColumn), "0");
    EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), "Initial");
    EXPECT_EQ(Cell(1, TPressgate::kCommentsColumn), "Print in local/LAN printer - lp");
    EXPECT_EQ(Image(2), 2);
    EXPECT_EQ(Cell(2, TPressgate::kStatusColumn), "Initial");
    EXPECT_EQ(Cell(2, TPressgate::kCommentsColumn), "");

    Spooler().ActivateLPD(true);
    Spooler().FindPrinter(std::string("lp"))->SetStatusText("This print queue is ready");
    Window().UpdateListView();
    EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), "running");
    EXPECT_EQ(Cell(1, TPressgate::kCommentsColumn), "This print queue is ready");
    EXPECT_EQ(Cell(2, TPressgate::kStatusColumn), "running");
}

TEST_F(MainWindowTest, RefreshKeepsTheSelectionByWholeCaptionIgnoringCase) {
    Start(ThreeQueues());
    Window().UpdateListView();

    Select("beta");
    Window().UpdateListView();
    EXPECT_EQ(Window().SelectedQueueCaption(), "beta");

    // Alpha is replaced by ALPHA elsewhere: the selection follows the caption's letters.
    Select("Alpha");
    ASSERT_TRUE(Spooler().RemovePrinter("Alpha"));
    ASSERT_TRUE(Spooler().AddPrinter(std::make_shared<LPDPrinter>("ALPHA")));
    Window().UpdateListView();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "beta", "lp", "ALPHA"}));
    EXPECT_EQ(Window().SelectedQueueCaption(), "ALPHA");

    // A caption that only starts like the remembered one does not count.
    Select("lp");
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    ASSERT_TRUE(Spooler().AddPrinter(std::make_shared<LPDPrinter>("lpx")));
    Window().UpdateListView();
    EXPECT_EQ(Window().SelectedQueueCaption(), "");

    // "Add Printer" stays selected like any row.
    Select("Add Printer");
    Window().UpdateListView();
    EXPECT_EQ(Window().SelectedQueueCaption(), "Add Printer");
}

TEST_F(MainWindowTest, ASelectedQueueRemovedElsewhereLeavesNothingSelected) {
    Start(ThreeQueues());
    Window().UpdateListView();
    Select("beta");
    ASSERT_TRUE(Spooler().RemovePrinter("beta"));
    Window().UpdateListView();
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "Alpha", "lp"}));
    EXPECT_EQ(Window().SelectedQueueCaption(), "");
    EXPECT_TRUE(Window().QueueSelection()->selectedIndexes().isEmpty());
}

TEST_F(MainWindowTest, RefreshDoesNothingOnceTheSpoolerHasNoQueue) {
    Start(TestConfig().AddLocalQueue("lp"));
    Window().UpdateListView();
    Select("lp");
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    Window().UpdateListView();
    // The list keeps what it showed, selection included.
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));
    EXPECT_EQ(Window().SelectedQueueCaption(), "lp");
}

TEST_F(MainWindowTest, ViewMenuItemsAndButtonsStayInStep) {
    Start(TestConfig().AddLocalQueue("lp"));
    Window().show();
    Select("lp");
    const struct {
        const char* item;
        const char* button;
        TPressgate::ViewStyle style;
    } styles[] = {
        {"Large Icons", "Large Icon View", TPressgate::ViewStyle::LargeIcons},
        {"Small Icons", "Small Icon View", TPressgate::ViewStyle::SmallIcons},
        {"List", "List View", TPressgate::ViewStyle::List},
        {"Detail", "Detail View", TPressgate::ViewStyle::Detail},
    };
    auto expectOnly = [&](int chosen) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(MenuItem("View", styles[i].item)->isChecked(), i == chosen) << i;
            EXPECT_EQ(ToolButton(styles[i].button)->isChecked(), i == chosen) << i;
        }
        EXPECT_EQ(Window().CurrentViewStyle(), styles[chosen].style);
        EXPECT_TRUE(Window().QueueView()->isVisible());
        // One selection whatever the presentation.
        EXPECT_EQ(Window().SelectedQueueCaption(), "lp");
    };
    for (int i = 0; i < 4; ++i) {
        MenuItem("View", styles[i].item)->trigger();
        expectOnly(i);
        ToolButton(styles[(i + 2) % 4].button)->click();
        expectOnly((i + 2) % 4);
    }

    ToolButton("List View")->click();
    auto* list = qobject_cast<QListView*>(Window().QueueView());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->viewMode(), QListView::ListMode);
    EXPECT_EQ(list->flow(), QListView::TopToBottom);
    EXPECT_EQ(list->iconSize(), QSize(16, 16));
    ToolButton("Large Icon View")->click();
    EXPECT_EQ(list->viewMode(), QListView::IconMode);
    EXPECT_EQ(list->iconSize(), QSize(32, 32));
    ToolButton("Detail View")->click();
    EXPECT_NE(qobject_cast<QTreeView*>(Window().QueueView()), nullptr);
}

TEST_F(MainWindowTest, ToolbarAndStatusbarItemsHideTheBars) {
    Start();
    Window().show();
    MenuItem("View", "Toolbar")->trigger();
    EXPECT_FALSE(Window().findChild<QToolBar*>("ToolBar1")->isVisible());
    EXPECT_FALSE(MenuItem("View", "Toolbar")->isChecked());
    MenuItem("View", "Statusbar")->trigger();
    EXPECT_FALSE(Window().statusBar()->isVisible());
    MenuItem("View", "Toolbar")->trigger();
    MenuItem("View", "Statusbar")->trigger();
    EXPECT_TRUE(Window().findChild<QToolBar*>("ToolBar1")->isVisible());
    EXPECT_TRUE(Window().statusBar()->isVisible());
    EXPECT_TRUE(MenuItem("View", "Statusbar")->isChecked());
}

TEST_F(MainWindowTest, DaemonSwitchKeepsMenuCheckAndButtonPairInStep) {
    Start(TestConfig().AddLocalQueue("lp"));
    Window().show();
    QAction* menu = MenuItem("Options", "Activate LPD");
    QToolButton* on = ToolButton("Activate LPD");
    QToolButton* off = ToolButton("De-activate LPD");
    auto expectShown = [&](bool running) {
        EXPECT_EQ(menu->isChecked(), running);
        EXPECT_EQ(on->isChecked(), running);
        EXPECT_EQ(off->isChecked(), !running);
        EXPECT_EQ(Spooler().State(), running ? SpoolerState::Running : SpoolerState::Pause);
    };
    const auto queue = Spooler().FindPrinter(std::string("lp"));
    expectShown(false);

    menu->trigger();
    expectShown(true);
    EXPECT_EQ(queue->State(), QueueState::Running);
    menu->trigger();
    expectShown(false);
    EXPECT_EQ(queue->State(), QueueState::Stop);

    on->click();
    expectShown(true);
    EXPECT_EQ(queue->State(), QueueState::Running);
    // A button that is down already does nothing: the paused queue stays paused.
    ASSERT_TRUE(Spooler().PausePrinter("lp"));
    on->click();
    expectShown(true);
    EXPECT_EQ(queue->State(), QueueState::Pause);

    off->click();
    expectShown(false);
    off->click();
    expectShown(false);
}

TEST_F(MainWindowTest, ShowingTheWindowReflectsARunningDaemon) {
    Start(TestConfig().AddLocalQueue("lp"), /*activate=*/true);
    Window().show();
    EXPECT_TRUE(MenuItem("Options", "Activate LPD")->isChecked());
    EXPECT_TRUE(ToolButton("Activate LPD")->isChecked());
    EXPECT_FALSE(ToolButton("De-activate LPD")->isChecked());
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp"}));  // refreshed on show
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
        ASSERT_EQ(Cell(1, TPressgate::kStatusColumn), activate ? "Initial" : "running");
        Spooler().ActivateLPD(activate);
        for (int tick = 1; tick <= 11; ++tick) {
            Window().ClockTick();
        }
        EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), activate ? "Initial" : "running");
        Window().ClockTick();
        EXPECT_EQ(Cell(1, TPressgate::kStatusColumn), activate ? "running" : "stop");
    }
}

TEST_F(MainWindowTest, ShowingWritesTheProgramAndHostLines) {
    Start();
    Window().show();
    const QString stamp = R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) \d\d )"
                          R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4}  )"
                          R"((0[1-9]|1[0-2]):[0-5]\d:[0-5]\d (am|pm))";
    const QRegularExpression program(R"(^Pressgate \d+\.\d+\.\d+ on Linux \S+$)");
    const QRegularExpression hostName("^" + stamp + R"(  Local Hostname: \S+$)");
    const QRegularExpression address("^" + stamp + R"(  Local IP Address: \d+\.\d+\.\d+\.\d+$)");
    QStringList lines;
    for (int i = 0; i < Window().MessageList()->count(); ++i) {
        lines << Window().MessageList()->item(i)->text();
    }
    ASSERT_GE(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_TRUE(program.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(hostName.match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_TRUE(address.match(lines[2]).hasMatch()) << lines[2].toStdString();
}

TEST_F(MainWindowTest, MinimizeOnStartupMinimisesTheShownWindow) {
    Start(TestConfig().Set("GENERAL CONFIGURE", "MinimizeOnStartup", "y"));
    Window().show();
    // No notification area offscreen: the window is only minimised.
    EXPECT_TRUE(WaitFor([this] { return Window().isMinimized(); }));
    EXPECT_FALSE(Window().Tray()->IsShown());
    Window().RestoreApplication();
    EXPECT_FALSE(Window().isMinimized());
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(MainWindowTest, MinimizeOnStartupOtherThanYesLeavesTheWindowUp) {
    Start(TestConfig().Set("GENERAL CONFIGURE", "MinimizeOnStartup", "Yes please"));
    Window().show();
    QCoreApplication::processEvents();  // the minimising would be posted
    QCoreApplication::processEvents();
    EXPECT_FALSE(Window().isMinimized());
}

}  // namespace
}  // namespace pg::test
