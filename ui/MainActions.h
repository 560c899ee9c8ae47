#pragma once

#include <QList>
#include <array>

class QAction;
class QActionGroup;
class QMenuBar;
class QToolBar;
class QWidget;

namespace pg {

// Every command of the main window as one QAction, shared by the menu bar, the toolbar, the
// queue list and its context menu, and the tray icon: texts, shortcuts (shown in the menus),
// tooltips and pictures. What each command does and when it is enabled is the main window's
// business (MainWindow::UpdateActions()).
struct MainActions {
    // The actions belong to window.
    explicit MainActions(QWidget* window);

    // File
    QAction* open;  // the selected row: the queue's jobs, or the wizard for "Add Printer"
    QAction* addQueue;
    QAction* resumeQueue;
    QAction* pauseQueue;
    QAction* purgeQueue;
    QAction* deleteQueue;
    QAction* queueProperties;
    QAction* viewJobs;
    QAction* exit;
    // View
    QAction* toolbar;
    QAction* statusbar;
    std::array<QAction*, 4> viewStyles;  // large icons, small icons, list, detail
    QActionGroup* viewStyleGroup;
    QAction* refresh;
    // Options
    QAction* daemon;  // checked while the daemon runs
    QAction* general;
    QAction* logging;
    QAction* notifications;  // checked while desktop notifications are on
    QAction* clearMessages;
    // Help
    QAction* contents;
    QAction* about;

    void FillMenuBar(QMenuBar& bar) const;
    void FillToolBar(QToolBar& bar) const;
    // The queue list's context menu.
    QList<QAction*> QueueMenu() const;
    // The actions whose keys act only while the queue list has the focus (Return, Space and
    // Delete mean something else elsewhere); the window adds them to the list.
    QList<QAction*> QueueListKeys() const;
};

}  // namespace pg
