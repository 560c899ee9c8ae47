#include "ui/MainActions.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWidget>

namespace pg {

namespace {

// An icon in its 16 and 32 pixel drawings.
QIcon Picture(const char* name) {
    QIcon icon;
    icon.addFile(QString(":/images/icons/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QString(":/images/icons/%1-32.png").arg(name), QSize(32, 32));
    return icon;
}

QAction* Make(QWidget* window, const char* objectName, const QString& text,
              const QList<QKeySequence>& keys = {}, const char* toolTip = nullptr,
              const char* picture = nullptr) {
    auto* action = new QAction(text, window);
    action->setObjectName(objectName);
    action->setShortcuts(keys);
    if (toolTip != nullptr) {
        action->setToolTip(toolTip);
    }
    if (picture != nullptr) {
        action->setIcon(Picture(picture));
    }
    return action;
}

QAction* Checkable(QAction* action, bool checked) {
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

}  // namespace

MainActions::MainActions(QWidget* w) {
    open = Make(w, "actOpen", "&Open", {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space});
    addQueue = Make(w, "actAddQueue", "&Add Print Queue...", {QKeySequence::New}, "Add Print Queue",
                    "addprinter");
    resumeQueue = Make(w, "actResumeQueue", "Activate &Queue", {}, "Resume Queue", "resume");
    pauseQueue = Make(w, "actPauseQueue", "&Pause Printing", {}, "Pause Queue", "pause");
    purgeQueue = Make(w, "actPurgeQueue", "P&urge Documents");
    deleteQueue = Make(w, "actDeleteQueue", "&Delete Print Queue", {QKeySequence::Delete},
                       "Delete Printer Queue", "delete");
    queueProperties = Make(w, "actQueueProperties", "Queue P&roperties", {Qt::ALT | Qt::Key_Return},
                           "Queue Properties", "properties");
    viewJobs = Make(w, "actViewJobs", "&View Printer Queue", {}, "View Printer Queue", "viewqueue");
    exit = Make(w, "actExit", "E&xit", {Qt::CTRL | Qt::Key_Q});

    toolbar = Checkable(Make(w, "actToolbar", "&Toolbar"), true);
    statusbar = Checkable(Make(w, "actStatusbar", "&Statusbar"), true);
    viewStyleGroup = new QActionGroup(w);
    viewStyles = {
        Make(w, "actLargeIcons", "&Large Icons", {}, "Large Icon View", "largeicons"),
        Make(w, "actSmallIcons", "S&mall Icons", {}, "Small Icon View", "smallicons"),
        Make(w, "actList", "L&ist", {}, "List View", "list"),
        Make(w, "actDetail", "&Detail", {}, "Detail View", "detail"),
    };
    for (QAction* style : viewStyles) {
        viewStyleGroup->addAction(Checkable(style, style == viewStyles[3]));
    }
    refresh = Make(w, "actRefresh", "&Refresh", {Qt::Key_F5});

    daemon = Checkable(Make(w, "actActivateLPD", "&Activate LPD", {}, "Activate LPD", "activate"),
                       false);
    general = Make(w, "actGeneral", "&General...", {Qt::CTRL | Qt::Key_Comma});
    logging = Make(w, "actLogging", "&Logging...");
    notifications = Checkable(Make(w, "actNotifications", "Desktop &Notifications"), true);
    clearMessages = Make(w, "actClearMessages", "&Clear message window", {}, "Clear Message Window",
                         "clearmessages");

    contents = Make(w, "actContents", "&Contents", {Qt::Key_F1});
    about = Make(w, "actAbout", "&About");

    for (QAction* action : QueueListKeys()) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
}

QList<QAction*> MainActions::QueueListKeys() const {
    return {open, deleteQueue, queueProperties};
}

void MainActions::FillMenuBar(QMenuBar& bar) const {
    QMenu* file = bar.addMenu("&File");
    file->addActions({open, addQueue});
    file->addSeparator();
    file->addActions({resumeQueue, pauseQueue});
    file->addSeparator();
    file->addActions({purgeQueue, deleteQueue, queueProperties});
    file->addSeparator();
    file->addAction(exit);

    QMenu* view = bar.addMenu("&View");
    view->addActions({toolbar, statusbar});
    view->addSeparator();
    for (QAction* style : viewStyles) {
        view->addAction(style);
    }
    view->addSeparator();
    view->addAction(refresh);

    QMenu* options = bar.addMenu("&Options");
    options->addAction(daemon);
    options->addSeparator();
    options->addActions({general, logging, notifications});
    options->addSeparator();
    options->addAction(clearMessages);

    QMenu* help = bar.addMenu("&Help");
    help->addActions({contents, about});
}

void MainActions::FillToolBar(QToolBar& bar) const {
    bar.addAction(daemon);
    bar.addSeparator();
    bar.addActions({addQueue, queueProperties, viewJobs});
    bar.addSeparator();
    bar.addAction(deleteQueue);
    bar.addSeparator();
    bar.addActions({resumeQueue, pauseQueue});
    bar.addSeparator();
    bar.addAction(clearMessages);
    // The view styles at the right end.
    auto* gap = new QWidget(&bar);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar.addWidget(gap);
    for (QAction* style : viewStyles) {
        bar.addAction(style);
    }
}

QList<QAction*> MainActions::QueueMenu() const {
    return {open, queueProperties, resumeQueue, pauseQueue, purgeQueue, deleteQueue};
}

}  // namespace pg
