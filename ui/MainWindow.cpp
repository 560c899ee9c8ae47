#include "ui/MainWindow.h"

#include <sys/utsname.h>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLibrary>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <string>

#include "engine/HostAddress.h"
#include "engine/LPDSpooler.h"
#include "engine/MessageStamp.h"
#include "engine/PrintQueue.h"
#include "ui/AddQueueWizard.h"
#include "ui/DesktopNotifier.h"
#include "ui/GeneralSettingsDialog.h"
#include "ui/HelpViewer.h"
#include "ui/ItemViews.h"
#include "ui/LocalQueueDialog.h"
#include "ui/LoggingDialog.h"
#include "ui/MessagePane.h"
#include "ui/ProgressDelegate.h"
#include "ui/QueueJobsDialog.h"
#include "ui/QueueListModel.h"
#include "ui/RemoteQueueDialog.h"
#include "ui/TrayIcon.h"
#include "ui/WindowSettings.h"

namespace pg {

namespace {

constexpr const char* kGeometryKey = "MainWindow/Geometry";
constexpr const char* kSplitterKey = "MainWindow/Splitter";
constexpr const char* kColumnsKey = "MainWindow/QueueColumns";
constexpr const char* kViewStyleKey = "MainWindow/ViewStyle";
constexpr const char* kNotificationsKey = "MainWindow/Notifications";

}  // namespace

MainWindow::MainWindow(LPDSpooler& spooler, QWidget* parent)
    : QMainWindow(parent),
      spooler_(spooler),
      actions_(this),
      model_(new QueueListModel(spooler, this)) {
    setObjectName("Pressgate");
    setWindowTitle("Pressgate");
    QIcon appIcon(":/images/icons/localqueue-16.png");
    appIcon.addFile(":/images/icons/localqueue-32.png", QSize(32, 32));
    appIcon.addFile(":/images/icons/pressgate-64.png", QSize(64, 64));
    setWindowIcon(appIcon);
    resize(720, 460);

    actions_.FillMenuBar(*menuBar());
    toolBar_ = addToolBar("Toolbar");
    toolBar_->setObjectName("ToolBar1");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(16, 16));
    // Only View "Toolbar" hides the band, so its check mark always tells the truth.
    toolBar_->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    actions_.FillToolBar(*toolBar_);

    CreateViews();
    clock_ = new QLabel(statusBar());
    clock_->setObjectName("Clock");
    statusBar()->addPermanentWidget(clock_);

    tray_ = new TrayIcon(actions_.daemon, actions_.exit, this);
    notifier_ = new DesktopNotifier(tray_, this);
    ConnectActions();

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setObjectName("Timer1");
    refreshTimer_->setInterval(kRefreshIntervalMs);
    connect(refreshTimer_, &QTimer::timeout, this, &MainWindow::Refresh);
    refreshTimer_->start();

    messages_->AttachToSystemLog();
    // Told on a printing thread: the notifier speaks on the window thread. The handler goes
    // before the window, so nothing is posted to a notifier that is gone.
    spooler_.SetQueueAlertHandler(
        [notifier = notifier_](const std::string& queue, const std::string& reason) {
            QMetaObject::invokeMethod(
                notifier,
                [notifier, queue, reason] {
                    notifier->Notify(QString("Print queue %1").arg(QString::fromStdString(queue)),
                                     QString::fromStdString(reason));
                },
                Qt::QueuedConnection);
        });
    spooler_.StartSpooling(this, false);
    RestoreLayout();
    Refresh();
}

MainWindow::~MainWindow() {
    spooler_.SetQueueAlertHandler(nullptr);  // returns once no call of it runs
    SaveLayout();
}

// --- construction ------------------------------------------------------------------------------

void MainWindow::CreateViews() {
    detailView_ = new QTreeView;
    detailView_->setObjectName("ListView1");
    DropSelectionWithLeavingRows(*model_, *detailView_);  // the icon view shares the selection
    detailView_->setModel(model_);
    detailView_->setRootIsDecorated(false);
    detailView_->setItemsExpandable(false);
    detailView_->setUniformRowHeights(true);
    detailView_->setAllColumnsShowFocus(true);
    detailView_->setIconSize(QSize(16, 16));
    detailView_->setItemDelegateForColumn(QueueListModel::kProgress,
                                          new ProgressDelegate(detailView_));
    detailView_->header()->setStretchLastSection(true);

    iconView_ = new QListView;
    iconView_->setObjectName("ListView1Icons");
    iconView_->setModel(model_);
    iconView_->setMovement(QListView::Static);
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setWrapping(true);
    iconView_->setWordWrap(true);
    // One selection for both presentations, so a view-style change keeps it.
    QItemSelectionModel* own = iconView_->selectionModel();
    iconView_->setSelectionModel(detailView_->selectionModel());
    delete own;

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(detailView_),
                                    static_cast<QAbstractItemView*>(iconView_)}) {
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setToolTip("Printer Queue Window");
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        // doubleClicked comes only over a row: the empty area does nothing.
        connect(view, &QAbstractItemView::doubleClicked, this, &MainWindow::OpenSelected);
        connect(view, &QWidget::customContextMenuRequested, this, &MainWindow::QueueContextMenu);
    }

    queueStack_ = new QStackedWidget;
    queueStack_->addWidget(detailView_);
    queueStack_->addWidget(iconView_);
    queueStack_->setCurrentWidget(detailView_);
    queueStack_->setFocusProxy(detailView_);
    // Return, Space, Delete and Alt+Return act on the list only while it has the focus.
    queueStack_->addActions(actions_.QueueListKeys());

    messages_ = new MessagePane;

    splitter_ = new QSplitter(Qt::Vertical);
    splitter_->setObjectName("Splitter1");
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(queueStack_);
    splitter_->addWidget(messages_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 1);
    setCentralWidget(splitter_);
}

void MainWindow::ConnectActions() {
    const MainActions& a = actions_;
    connect(a.open, &QAction::triggered, this, &MainWindow::OpenSelected);
    connect(a.addQueue, &QAction::triggered, this, &MainWindow::AddQueue);
    connect(a.resumeQueue, &QAction::triggered, this, &MainWindow::ResumeQueue);
    connect(a.pauseQueue, &QAction::triggered, this, &MainWindow::PauseQueue);
    connect(a.purgeQueue, &QAction::triggered, this, &MainWindow::PurgeQueue);
    connect(a.deleteQueue, &QAction::triggered, this, &MainWindow::DeleteQueue);
    connect(a.queueProperties, &QAction::triggered, this, &MainWindow::ShowProperties);
    connect(a.viewJobs, &QAction::triggered, this, &MainWindow::ShowJobs);
    connect(a.exit, &QAction::triggered, this, &QWidget::close);

    connect(a.toolbar, &QAction::toggled, toolBar_, &QWidget::setVisible);
    connect(a.statusbar, &QAction::toggled, statusBar(), &QWidget::setVisible);
    for (int i = 0; i < static_cast<int>(a.viewStyles.size()); ++i) {
        connect(a.viewStyles[i], &QAction::triggered, this,
                [this, i] { SetViewStyle(static_cast<ViewStyle>(i)); });
    }
    connect(a.refresh, &QAction::triggered, this, &MainWindow::Refresh);

    // triggered comes from the operator only (menu, toolbar, tray), after the check mark moved.
    connect(a.daemon, &QAction::triggered, this, &MainWindow::SetDaemon);
    connect(a.general, &QAction::triggered, this, [this] {
        GeneralSettingsDialog dialog(spooler_, this);
        dialog.exec();
    });
    connect(a.logging, &QAction::triggered, this, [this] {
        LoggingDialog dialog(spooler_, this);
        dialog.exec();
    });
    connect(a.notifications, &QAction::toggled, this, [this](bool on) {
        notifier_->SetEnabled(on);
        OpenWindowSettings(spooler_)->setValue(kNotificationsKey, on);
    });
    connect(a.clearMessages, &QAction::triggered, messages_, &MessagePane::Clear);
    connect(a.contents, &QAction::triggered, this, [this] { ShowHelp(this, kHelpContents); });
    connect(a.about, &QAction::triggered, this, &MainWindow::ShowAbout);

    connect(tray_, &TrayIcon::RestoreRequested, this, &MainWindow::RestoreApplication);
    connect(model_, &QueueListModel::Refreshed, this, [this] {
        UpdateActions();
        FitColumnsToContents(*detailView_);
    });
    connect(QueueSelection(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::UpdateActions);
}

// What may be done now: one place for every command, from the selected row (as the last
// refresh saw its queue) and the daemon's state.
void MainWindow::UpdateActions() {
    const int row = SelectedRow();
    const QueueListModel::QueueRow* queue = model_->Queue(row);
    actions_.daemon->setChecked(spooler_.State() == SpoolerState::Running);
    actions_.open->setEnabled(row >= 0);
    for (QAction* action : {actions_.viewJobs, actions_.queueProperties, actions_.deleteQueue}) {
        action->setEnabled(queue != nullptr);
    }
    actions_.resumeQueue->setEnabled(queue != nullptr && queue->state != QueueState::Running);
    actions_.pauseQueue->setEnabled(queue != nullptr && queue->state == QueueState::Running);
    actions_.purgeQueue->setEnabled(queue != nullptr && queue->jobs > 0);
}

// --- layout memory -----------------------------------------------------------------------------

void MainWindow::RestoreLayout() {
    const auto settings = OpenWindowSettings(spooler_);
    restoreGeometry(settings->value(kGeometryKey).toByteArray());
    splitter_->restoreState(settings->value(kSplitterKey).toByteArray());
    // Columns as the operator left them, else just wide enough for what they show.
    if (!detailView_->header()->restoreState(settings->value(kColumnsKey).toByteArray())) {
        model_->Refresh();
        FitColumnsToContents(*detailView_, true);
    }
    const int style = settings->value(kViewStyleKey, static_cast<int>(ViewStyle::Detail)).toInt();
    if (style >= 0 && style < static_cast<int>(actions_.viewStyles.size())) {
        SetViewStyle(static_cast<ViewStyle>(style));
    }
    actions_.notifications->setChecked(settings->value(kNotificationsKey, true).toBool());
}

void MainWindow::SaveLayout() const {
    if (!shownOnce_) {
        return;  // nothing the operator arranged
    }
    const auto settings = OpenWindowSettings(spooler_);
    settings->setValue(kGeometryKey, saveGeometry());
    settings->setValue(kSplitterKey, splitter_->saveState());
    settings->setValue(kColumnsKey, detailView_->header()->saveState());
    settings->setValue(kViewStyleKey, static_cast<int>(viewStyle_));
}

// --- showing -----------------------------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The window's own first showing runs the show procedure; coming back from the
    // notification area or from minimised shows it again without it.
    if (!shownOnce_ && !event->spontaneous()) {
        shownOnce_ = true;
        FirstShow();
    }
}

void MainWindow::FirstShow() {
    const auto settings = OpenWindowSettings(spooler_);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr && !settings->contains(kGeometryKey)) {
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    }
    if (!settings->contains(kSplitterKey)) {
        const int height = splitter_->height();
        splitter_->setSizes({height / 2, height - height / 2});
    }
    AddHostLines();
    actions_.statusbar->setChecked(!statusBar()->isHidden());
    actions_.toolbar->setChecked(!toolBar_->isHidden());
    if (spooler_.Settings().minimizeOnStartup) {
        // After the show has finished: a window cannot be minimised from inside its showing.
        QTimer::singleShot(0, this, &MainWindow::MinimiseApplication);
    }
    Refresh();
    detailView_->setFocus();
}

// The program and system line, then the host's name and first IPv4 address.
void MainWindow::AddHostLines() {
    utsname system{};
    if (::uname(&system) == 0) {
        messages_->AddLine(QString("Pressgate %1 on %2 %3")
                               .arg(PRESSGATE_VERSION, system.sysname, system.release));
    } else {
        messages_->AddLine("Pressgate " PRESSGATE_VERSION " on Linux");
    }
    std::string name;
    std::string address;
    std::string failure;
    if (!LocalHostIdentity(name, address, failure)) {
        // The show goes on while the box is up.
        auto* box = new QMessageBox(QMessageBox::Information, "Pressgate",
                                    QString::fromStdString(failure), QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    messages_->AddLine(QString::fromStdString(MessageStamp() + "  Local Hostname: " + name));
    messages_->AddLine(QString::fromStdString(MessageStamp() + "  Local IP Address: " + address));
}

// --- minimising --------------------------------------------------------------------------------

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon::Available() &&
        !tray_->IsShown()) {
        QTimer::singleShot(0, this, &MainWindow::MinimiseApplication);
    }
}

void MainWindow::MinimiseApplication() {
    if (!TrayIcon::Available()) {
        showMinimized();
        return;
    }
    tray_->Show();
    hide();
}

void MainWindow::RestoreApplication() {
    tray_->Hide();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}

// --- the queue list ----------------------------------------------------------------------------

void MainWindow::Refresh() {
    model_->Refresh();
    clock_->setText(QLocale().toString(QTime::currentTime(), QLocale::LongFormat));
}

QItemSelectionModel* MainWindow::QueueSelection() const {
    return detailView_->selectionModel();
}

QAbstractItemView* MainWindow::QueueView() const {
    return viewStyle_ == ViewStyle::Detail ? static_cast<QAbstractItemView*>(detailView_)
                                           : static_cast<QAbstractItemView*>(iconView_);
}

int MainWindow::SelectedRow() const {
    const QModelIndexList selected = QueueSelection()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

bool MainWindow::SelectRow(const QString& caption) {
    const int row = caption == QueueListModel::kAddPrinterCaption ? 0 : model_->RowOf(caption);
    if (row < 0) {
        return false;
    }
    QueueSelection()->setCurrentIndex(
        model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

std::shared_ptr<PrintQueue> MainWindow::SelectedQueue() const {
    const QueueListModel::QueueRow* queue = model_->Queue(SelectedRow());
    return queue != nullptr ? spooler_.FindQueue(queue->name.toStdString()) : nullptr;
}

void MainWindow::SetViewStyle(ViewStyle style) {
    viewStyle_ = style;
    actions_.viewStyles[static_cast<size_t>(style)]->setChecked(true);
    if (style == ViewStyle::Detail) {
        queueStack_->setCurrentWidget(detailView_);
        queueStack_->setFocusProxy(detailView_);
        return;
    }
    if (style == ViewStyle::LargeIcons) {
        iconView_->setViewMode(QListView::IconMode);
        iconView_->setIconSize(QSize(32, 32));
        iconView_->setGridSize(QSize(100, 64));
        iconView_->setFlow(QListView::LeftToRight);
    } else {
        iconView_->setViewMode(QListView::ListMode);
        iconView_->setIconSize(QSize(16, 16));
        iconView_->setGridSize(QSize(160, 20));
        // Small icons run across the window; the list runs down in columns.
        iconView_->setFlow(style == ViewStyle::SmallIcons ? QListView::LeftToRight
                                                          : QListView::TopToBottom);
    }
    iconView_->setMovement(QListView::Static);
    iconView_->setWrapping(true);
    queueStack_->setCurrentWidget(iconView_);
    queueStack_->setFocusProxy(iconView_);
}

void MainWindow::QueueContextMenu(const QPoint& position) {
    if (SelectedQueue() == nullptr) {
        return;
    }
    QMenu menu(this);
    menu.addActions({actions_.open, actions_.queueProperties});
    menu.addSeparator();
    menu.addActions({actions_.resumeQueue, actions_.pauseQueue});
    menu.addSeparator();
    menu.addActions({actions_.purgeQueue, actions_.deleteQueue});
    menu.exec(QueueView()->viewport()->mapToGlobal(position));
}

// --- commands ----------------------------------------------------------------------------------

void MainWindow::OpenSelected() {
    const int row = SelectedRow();
    if (row == 0) {
        AddQueue();
    } else if (row > 0) {
        ShowJobs();
    }
}

void MainWindow::AddQueue() {
    if (!wizard_) {
        wizard_ = new AddQueueWizard(spooler_, this);
        wizard_->setAttribute(Qt::WA_DeleteOnClose);
        connect(wizard_, &AddQueueWizard::QueueAdded, this, [this](const QString& name) {
            Refresh();
            SelectRow(name);
        });
    }
    wizard_->show();
    wizard_->raise();
    wizard_->activateWindow();
}

void MainWindow::ShowJobs() {
    if (const std::shared_ptr<PrintQueue> queue = SelectedQueue()) {
        QueueJobsDialog dialog(spooler_, queue, this);
        dialog.exec();
        Refresh();
    }
}

void MainWindow::ShowProperties() {
    const std::shared_ptr<PrintQueue> queue = SelectedQueue();
    if (!queue) {
        return;
    }
    if (queue->IsRemote()) {
        RemoteQueueDialog dialog(spooler_, queue, this);
        dialog.exec();
    } else {
        LocalQueueDialog dialog(spooler_, queue, this);
        dialog.exec();
    }
    Refresh();
}

void MainWindow::ResumeQueue() {
    if (const std::shared_ptr<PrintQueue> queue = SelectedQueue()) {
        spooler_.StartPrinter(queue->name);  // the spooler says why when it cannot
        Refresh();
    }
}

void MainWindow::PauseQueue() {
    if (const std::shared_ptr<PrintQueue> queue = SelectedQueue()) {
        spooler_.PausePrinter(queue->name);
        Refresh();
    }
}

void MainWindow::PurgeQueue() {
    if (const std::shared_ptr<PrintQueue> queue = SelectedQueue()) {
        queue->RemoveJob();
        queue->SetStatusText("The print queue is purged");
        Refresh();
    }
}

void MainWindow::DeleteQueue() {
    const std::shared_ptr<PrintQueue> queue = SelectedQueue();
    if (!queue) {
        return;
    }
    QMessageBox ask(QMessageBox::Question, "Delete Queue",
                    "Are you sure you want to delete this queue? ",
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setInformativeText(QString::fromStdString(queue->name));
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() == QMessageBox::Yes) {
        spooler_.RemovePrinter(queue->name);  // the spooler says why when it cannot
        Refresh();
    }
}

void MainWindow::SetDaemon(bool activate) {
    spooler_.ActivateLPD(activate);
    Refresh();
}

void MainWindow::ShowAbout() {
    const QString directory =
        aboutDirectory_.isEmpty() ? QCoreApplication::applicationDirPath() : aboutDirectory_;
    QLibrary library(QDir(directory).filePath("libpgabout.so"));
    using ShowAboutFunction = void (*)(const char*);
    ShowAboutFunction showAbout = nullptr;
    if (library.load()) {
        showAbout = reinterpret_cast<ShowAboutFunction>(library.resolve("ShowAbout"));
    }
    if (showAbout != nullptr) {
        showAbout("Pressgate");
    } else {
        // A library without the export is as good as none.
        QMessageBox::information(this, "Pressgate", "Cannot locate libpgabout.so.");
    }
    library.unload();
}

}  // namespace pg
