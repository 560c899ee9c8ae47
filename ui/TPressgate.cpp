#include "ui/TPressgate.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <optional>
#include <string>

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
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <string>

#include "config/GeneralSettings.h"
#include "engine/HostAddress.h"
#include "engine/LPDSpooler.h"
#include "engine/MessageStamp.h"
#include "engine/PrintQueue.h"
#include "ui/HelpViewer.h"
#include "ui/MessageWindowSink.h"
#include "ui/TGeneralSettings.h"
#include "ui/TLPrnProp.h"
#include "ui/TLoggingOptions.h"
#include "ui/TPrnWiz1.h"
#include "ui/TRPrnProp.h"
#include "ui/TViewPrintQ.h"
#include "ui/TrayIcon.h"

namespace pg {

namespace {

const char* const kSelectQueueFirst = "Please select a print queue first.";

// An icon in its 16 and 32 pixel drawings.
QIcon Picture(const QString& name) {
    QIcon icon;
    icon.addFile(QString(":/images/icons/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QString(":/images/icons/%1-32.png").arg(name), QSize(32, 32));
    return icon;
}

// The queue list's pictures by image index: add printer, local queue, remote queue.
QIcon QueueImage(int index) {
    static const char* const kNames[] = {"addprinter", "localqueue", "remotequeue"};
    return Picture(kNames[index >= 0 && index < 3 ? index : 0]);
}

QAction* MakeAction(QObject* parent, const char* objectName, const QString& text,
                    const QString& toolTip = {}, const QString& icon = {}) {
    auto* action = new QAction(text, parent);
    action->setObjectName(objectName);
    if (!toolTip.isEmpty()) {
        action->setToolTip(toolTip);
    }
    if (!icon.isEmpty()) {
        action->setIcon(Picture(icon));
    }
    return action;
}

}  // namespace

TPressgate::TPressgate(LPDSpooler& spooler, QWidget* parent)
    : QMainWindow(parent), spooler_(spooler) {
    setObjectName("Pressgate");
    setWindowTitle("Pressgate");
    QIcon appIcon = Picture("localqueue");
    appIcon.addFile(":/images/icons/pressgate-64.png", QSize(64, 64));
    setWindowIcon(appIcon);
    resize(578, 365);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateViews();
    CreateStatusBar();

    tray_ = new TrayIcon(this);
    connect(tray_, &TrayIcon::RestoreRequested, this, &TPressgate::RestoreApplication);

    // The clock runs for the life of the program.
    clock_ = new QTimer(this);
    clock_->setObjectName("Timer1");
    clock_->setInterval(500);
    connect(clock_, &QTimer::timeout, this, &TPressgate::ClockTick);
    clock_->start();

    queueModel_->appendRow(RowFor(kAddPrinterCaption, 0, {}, {}, "Double click to add a printer"));

    sink_ = std::make_shared<MessageWindowSink>(this, "DrainMessages");
    LPDSpooler::SetScreenOutput([sink = sink_](const char* text) { sink->Push(text); });
    spooler_.StartSpooling(this, false);
}

TPressgate::~TPressgate() {
    sink_->Detach();
    // Waits for a log line that is being handed to the sink right now.
    LPDSpooler::SetScreenOutput(nullptr);
}

// --- construction ------------------------------------------------------------------------------

void TPressgate::CreateActions() {
    // File
    actOpen_ = MakeAction(this, "actOpen", "Open");
    actResumeQueue_ =
        MakeAction(this, "actResumeQueue", "Activate Queue", "Resume Queue", "resume");
    actPauseQueue_ = MakeAction(this, "actPauseQueue", "Pause Printing", "Pause Queue", "pause");
    actPurgeQueue_ = MakeAction(this, "actPurgeQueue", "Purge Documents");
    actDeleteQueue_ =
        MakeAction(this, "actDeleteQueue", "Delete Print Queue", "Delete Printer Queue", "delete");
    actQueueProperties_ = MakeAction(this, "actQueueProperties", "Queue Properties",
                                     "Queue Properties", "properties");
    actExit_ = MakeAction(this, "actExit", "Exit");
    connect(actOpen_, &QAction::triggered, this, &TPressgate::QueueProperties);
    connect(actResumeQueue_, &QAction::triggered, this, &TPressgate::ResumeQueue);
    connect(actPauseQueue_, &QAction::triggered, this, &TPressgate::PauseQueue);
    connect(actPurgeQueue_, &QAction::triggered, this, &TPressgate::PurgeQueue);
    connect(actDeleteQueue_, &QAction::triggered, this, &TPressgate::DeleteQueue);
    connect(actQueueProperties_, &QAction::triggered, this, &TPressgate::QueueProperties);
    connect(actExit_, &QAction::triggered, this, &QWidget::close);

    // View
    actToolbar_ = MakeAction(this, "actToolbar", "Toolbar");
    actStatusbar_ = MakeAction(this, "actStatusbar", "Statusbar");
    for (QAction* action : {actToolbar_, actStatusbar_}) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    connect(actToolbar_, &QAction::triggered, this, [this](bool on) { toolBar_->setVisible(on); });
    connect(actStatusbar_, &QAction::triggered, this,
            [this](bool on) { statusBar()->setVisible(on); });

    viewStyleGroup_ = new QActionGroup(this);
    viewStyleGroup_->setExclusive(true);
    const struct {
        const char* name;
        const char* text;
        const char* toolTip;
        const char* icon;
    } styles[] = {
        {"actLargeIcons", "Large Icons", "Large Icon View", "largeicons"},
        {"actSmallIcons", "Small Icons", "Small Icon View", "smallicons"},
        {"actList", "List", "List View", "list"},
        {"actDetail", "Detail", "Detail View", "detail"},
    };
    for (int i = 0; i < 4; ++i) {
        QAction* action =
            MakeAction(this, styles[i].name, styles[i].text, styles[i].toolTip, styles[i].icon);
        action->setCheckable(true);
        viewStyleGroup_->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, i] { SetViewStyle(static_cast<ViewStyle>(i)); });
        actViewStyle_[i] = action;
    }
    actViewStyle_[static_cast<int>(ViewStyle::Detail)]->setChecked(true);
    actRefresh_ = MakeAction(this, "actRefresh", "Refresh");
    connect(actRefresh_, &QAction::triggered, this, &TPressgate::UpdateListView);

    // Options
    actActivateLPD_ = MakeAction(this, "actActivateLPD", "Activate LPD");
    actActivateLPD_->setCheckable(true);
    // The item has already changed its check mark when triggered reports: checked means the
    // operator asked for the daemon to run.
    connect(actActivateLPD_, &QAction::triggered, this, [this](bool on) { SetDaemon(on); });
    actGeneral_ = MakeAction(this, "actGeneral", "General");
    actLogging_ = MakeAction(this, "actLogging", "Logging");
    actClearMessages_ = MakeAction(this, "actClearMessages", "Clear message window",
                                   "Clear Message Window", "clearmessages");
    connect(actGeneral_, &QAction::triggered, this, [this] {
        if (dialogs_.general) {
            dialogs_.general->exec();
        }
    });
    connect(actLogging_, &QAction::triggered, this, [this] {
        if (dialogs_.logging) {
            dialogs_.logging->exec();
        }
    });
    connect(actClearMessages_, &QAction::triggered, this, [this] { messageList_->clear(); });

    // Help
    actContents_ = MakeAction(this, "actContents", "Contents");
    actAbout_ = MakeAction(this, "actAbout", "About");
    connect(actContents_, &QAction::triggered, this, [this] { ShowHelp(this, kHelpContents); });
    connect(actAbout_, &QAction::triggered, this, &TPressgate::ShowAboutBox);

    // The daemon's sticky pair: a button acts only when it was not down already.
    actDaemonOn_ = MakeAction(this, "actDaemonOn", "Activate LPD", "Activate LPD", "activate");
    actDaemonOff_ =
        MakeAction(this, "actDaemonOff", "De-activate LPD", "De-activate LPD", "deactivate");
    daemonGroup_ = new QActionGroup(this);
    daemonGroup_->setExclusive(true);
    for (QAction* action : {actDaemonOn_, actDaemonOff_}) {
        action->setCheckable(true);
        daemonGroup_->addAction(action);
    }
    actDaemonOff_->setChecked(true);
    connect(actDaemonOn_, &QAction::triggered, this, [this] {
        if (!actActivateLPD_->isChecked()) {
            SetDaemon(true);
        }
    });
    connect(actDaemonOff_, &QAction::triggered, this, [this] {
        if (actActivateLPD_->isChecked()) {
            SetDaemon(false);
        }
    });

    actViewQueue_ =
        MakeAction(this, "actViewQueue", "View Printer Queue", "View Printer Queue", "viewqueue");
    connect(actViewQueue_, &QAction::triggered, this, &TPressgate::ViewPrinterQueue);

    actContextOpen_ = MakeAction(this, "actContextOpen", "Open");
    connect(actContextOpen_, &QAction::triggered, this, &TPressgate::OpenSelected);
}

void TPressgate::CreateMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(actOpen_);
    file->addSeparator();
    file->addAction(actResumeQueue_);
    file->addAction(actPauseQueue_);
    file->addSeparator();
    file->addAction(actPurgeQueue_);
    file->addAction(actDeleteQueue_);
    file->addAction(actQueueProperties_);
    file->addSeparator();
    file->addAction(actExit_);

    QMenu* view = menuBar()->addMenu("&View");
    view->addAction(actToolbar_);
    view->addAction(actStatusbar_);
    view->addSeparator();
    for (QAction* action : actViewStyle_) {
        view->addAction(action);
    }
    view->addSeparator();
    view->addAction(actRefresh_);

    QMenu* options = menuBar()->addMenu("&Options");
    options->addAction(actActivateLPD_);
    options->addSeparator();
    options->addAction(actGeneral_);
    options->addAction(actLogging_);
    options->addSeparator();
    options->addAction(actClearMessages_);

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(actContents_);
    help->addAction(actAbout_);
}

void TPressgate::CreateToolBar() {
    toolBar_ = addToolBar("Toolbar");
    toolBar_->setObjectName("ToolBar1");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(16, 16));
    // Only View "Toolbar" hides the band, so its check mark always tells the truth.
    toolBar_->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    toolBar_->addAction(actDaemonOn_);
    toolBar_->addAction(actDaemonOff_);
    toolBar_->addSeparator();
    toolBar_->addAction(actQueueProperties_);
    toolBar_->addAction(actViewQueue_);
    toolBar_->addSeparator();
    toolBar_->addAction(actDeleteQueue_);
    toolBar_->addSeparator();
    toolBar_->addAction(actResumeQueue_);
    toolBar_->addAction(actPauseQueue_);
    // The wide separator before the message window's button.
    toolBar_->addSeparator();
    auto* gap = new QWidget(toolBar_);
    gap->setFixedWidth(12);
    toolBar_->addWidget(gap);
    toolBar_->addSeparator();
    toolBar_->addAction(actClearMessages_);
    toolBar_->addSeparator();
    for (QAction* action : actViewStyle_) {
        toolBar_->addAction(action);
    }
}

void TPressgate::CreateViews() {
    queueModel_ = new QStandardItemModel(0, 4, this);
    queueModel_->setHorizontalHeaderLabels({"Name", "Jobs", "Status", "Comments"});

    detailView_ = new QTreeView;
    detailView_->setObjectName("ListView1");
    detailView_->setModel(queueModel_);
    detailView_->setRootIsDecorated(false);
    detailView_->setItemsExpandable(false);
    detailView_->setUniformRowHeights(true);
    detailView_->setAllColumnsShowFocus(true);
    detailView_->setIconSize(QSize(16, 16));
    detailView_->header()->setStretchLastSection(false);
    const int widths[] = {160, 50, 60, 226};
    for (int column = 0; column < 4; ++column) {
        detailView_->setColumnWidth(column, widths[column]);
    }

    iconView_ = new QListView;
    iconView_->setObjectName("ListView1Icons");
    iconView_->setModel(queueModel_);
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
        view->viewport()->setToolTip("Printer Queue Window");
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        // doubleClicked comes only over a row: the empty area does nothing.
        connect(view, &QAbstractItemView::doubleClicked, this, &TPressgate::OpenSelected);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& position) { QueueContextMenu(view, position); });
    }

    queueStack_ = new QStackedWidget;
    queueStack_->addWidget(detailView_);
    queueStack_->addWidget(iconView_);
    queueStack_->setCurrentWidget(detailView_);

    messageList_ = new QListWidget;
    messageList_->setObjectName("ListBox1");
    messageList_->setUniformItemSizes(true);
    messageList_->setToolTip("System Message Window");
    messageList_->viewport()->setToolTip("System Message Window");
    messageList_->setSelectionMode(QAbstractItemView::SingleSelection);
    messageList_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* clearList = MakeAction(messageList_, "actClearList", "Clear List");
    connect(clearList, &QAction::triggered, messageList_, &QListWidget::clear);
    messageList_->addAction(clearList);

    splitter_ = new QSplitter(Qt::Vertical);
    splitter_->setObjectName("Splitter1");
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(queueStack_);
    splitter_->addWidget(messageList_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({1000, 1000});
    setCentralWidget(splitter_);
}

void TPressgate::CreateStatusBar() {
    const int widths[] = {300, 100, 50};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(statusBar());
        panel->setObjectName(QString("StatusPanel%1").arg(i + 1));
        if (i < 2) {
            panel->setFixedWidth(widths[i]);
            statusBar()->addWidget(panel);
        } else {
            // The last panel reaches to the window's edge.
            panel->setMinimumWidth(widths[i]);
            statusBar()->addWidget(panel, 1);
        }
        statusPanels_[i] = panel;
    }
}

void TPressgate::SetDialogs(const Dialogs& dialogs) {
    dialogs_ = dialogs;
}

void TPressgate::SetSplash(QWidget* splash) {
    splash_ = splash;
}

// --- showing -----------------------------------------------------------------------------------

void TPressgate::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The window's own first showing runs the show procedure; coming back from the
    // notification area or from minimised shows it again without it.
    if (!shownOnce_ && !event->spontaneous()) {
        shownOnce_ = true;
        FormShow();
    }
}

void TPressgate::FormShow() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    }
    splitter_->setSizes({splitter_->height() / 2, splitter_->height() - splitter_->height() / 2});

    AddHostLines();
    actStatusbar_->setChecked(!statusBar()->isHidden());
    actToolbar_->setChecked(!toolBar_->isHidden());
    ShowDaemonState(spooler_.State() == SpoolerState::Running);
    if (IsYes(spooler_.Profile().GetString("GENERAL CONFIGURE", "MinimizeOnStartup", "No"))) {
        // After the show has finished: a window cannot be minimised from inside its showing.
        QTimer::singleShot(0, this, &TPressgate::MinimiseApplication);
    }
    UpdateListView();
}

// The program and system line, then the host's name and first IPv4 address.
void TPressgate::AddHostLines() {
    utsname system{};
    if (::uname(&system) == 0) {
        AddMessageLine(QString("Pressgate %1 on %2 %3")
                           .arg(PRESSGATE_VERSION, system.sysname, system.release));
    } else {
        AddMessageLine("Pressgate " PRESSGATE_VERSION " on Linux");
    }

    // The show procedure goes on while these boxes are up.
    auto failed = [this](const char* text) {
        auto* box =
            new QMessageBox(QMessageBox::Information, "Pressgate", text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    std::string name, address, failure;
    if (!LocalHostIdentity(name, address, failure)) {
        failed(failure.c_str());
        return;
    }
    AddMessageLine(QString::fromStdString(MessageStamp() + "  Local Hostname: " + name));
    AddMessageLine(QString::fromStdString(MessageStamp() + "  Local IP Address: " + address));
}

// --- minimising --------------------------------------------------------------------------------

void TPressgate::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon::Available() &&
        !tray_->IsShown()) {
        QTimer::singleShot(0, this, &TPressgate::MinimiseApplication);
    }
}

void TPressgate::MinimiseApplication() {
    if (!TrayIcon::Available()) {
        showMinimized();
        return;
    }
    tray_->Show(spooler_.State() == SpoolerState::Running);
    hide();
}

void TPressgate::RestoreApplication() {
    tray_->Hide();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
}

void TPressgate::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}

// --- clock and queue list ----------------------------------------------------------------------

void TPressgate::ClockTick() {
    statusPanels_[2]->setText(QLocale().toString(QTime::currentTime(), QLocale::LongFormat));
    const int old = tickCount_++;
    if (old > 20) {
        UpdateListView();
        tickCount_ = 10;
    } else if (tickCount_ == 4) {
        if (splash_) {
            splash_->close();
        }
        tickCount_ = 10;
    }
}

QList<QStandardItem*> TPressgate::RowFor(const QString& caption, int image, const QString& jobs,
                                         const QString& status, const QString& comment) const {
    auto* name = new QStandardItem(QueueImage(image), caption);
    name->setData(image, kImageIndexRole);
    return {name, new QStandardItem(jobs), new QStandardItem(status), new QStandardItem(comment)};
}

QList<QStandardItem*> TPressgate::QueueRow(const PrintQueue& queue) const {
    std::string state;
    uint32_t jobs = 0;
    std::string status;
    queue.GetStatus(state, jobs, status);
    return RowFor(QString::fromStdString(queue.name), queue.IsRemote() ? 2 : 1,
                  QString::number(jobs), QString::fromStdString(state),
                  QString::fromStdString(status));
}

void TPressgate::AppendQueueRow(const PrintQueue& queue) {
    queueModel_->appendRow(QueueRow(queue));
}

void TPressgate::UpdateListView() {
    const std::vector<std::shared_ptr<PrintQueue>> queues = spooler_.Printers();
    if (queues.empty()) {
        return;
    }
    const QString remembered = SelectedQueueCaption();
    queueModel_->removeRows(0, queueModel_->rowCount());
    queueModel_->appendRow(RowFor(kAddPrinterCaption, 0, {}, {}, {}));
    for (const auto& queue : queues) {
        queueModel_->appendRow(QueueRow(*queue));
    }
    if (remembered.isEmpty()) {
        return;
    }
    for (int row = 0; row < queueModel_->rowCount(); ++row) {
        const QModelIndex index = queueModel_->index(row, kNameColumn);
        if (index.data().toString().compare(remembered, Qt::CaseInsensitive) == 0) {
            QueueSelection()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            break;
        }
    }
}

QItemSelectionModel* TPressgate::QueueSelection() const {
    return detailView_->selectionModel();
}

QAbstractItemView* TPressgate::QueueView() const {
    return viewStyle_ == ViewStyle::Detail ? static_cast<QAbstractItemView*>(detailView_)
                                           : static_cast<QAbstractItemView*>(iconView_);
}

QString TPressgate::SelectedQueueCaption() const {
    const int row = SelectedRow();
    return row < 0 ? QString() : queueModel_->index(row, kNameColumn).data().toString();
}

int TPressgate::SelectedRow() const {
    const QModelIndexList selected = QueueSelection()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TPressgate::SetViewStyle(ViewStyle style) {
    viewStyle_ = style;
    actViewStyle_[static_cast<int>(style)]->setChecked(true);
    if (style == ViewStyle::Detail) {
        queueStack_->setCurrentWidget(detailView_);
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
}

void TPressgate::QueueContextMenu(QAbstractItemView* view, const QPoint& position) {
    if (SelectedRow() <= 0) {
        return;
    }
    QMenu menu(this);
    menu.addAction(actContextOpen_);
    menu.addAction(actQueueProperties_);
    menu.exec(view->viewport()->mapToGlobal(position));
}

// --- message window ----------------------------------------------------------------------------

void TPressgate::DrainMessages() {
    const std::vector<std::string> lines = sink_->Take();
    if (lines.empty()) {
        return;
    }
    // A burst is laid out and scrolled once.
    messageList_->setUpdatesEnabled(false);
    for (const std::string& line : lines) {
        AppendMessageLine(QString::fromStdString(line));
    }
    messageList_->setUpdatesEnabled(true);
    messageList_->scrollToBottom();
}

void TPressgate::AddMessageLine(const QString& line) {
    AppendMessageLine(line);
    messageList_->scrollToBottom();
}

void TPressgate::AppendMessageLine(const QString& line) {
    while (messageList_->count() > kMessageLinesKept) {
        delete messageList_->takeItem(0);
    }
    messageList_->addItem(line);
}

// --- commands ----------------------------------------------------------------------------------

void TPressgate::Inform(const QString& text) {
    QMessageBox::information(this, "Pressgate", text);
}

void TPressgate::QueueProperties() {
    const int row = SelectedRow();
    if (row < 0) {
        Inform(kSelectQueueFirst);
        return;
    }
    if (row == 0) {
        return;
    }
    const std::shared_ptr<PrintQueue> queue =
        spooler_.FindQueueIgnoringCase(SelectedQueueCaption().toStdString().c_str());
    if (!queue) {
        return;
    }
    QDialog* dialog = queue->IsRemote() ? static_cast<QDialog*>(dialogs_.remoteProperties)
                                        : static_cast<QDialog*>(dialogs_.localProperties);
    if (dialog) {
        dialog->exec();
    }
}

void TPressgate::ViewPrinterQueue() {
    if (SelectedRow() <= 0) {
        Inform(kSelectQueueFirst);
        return;
    }
    if (dialogs_.viewer) {
        dialogs_.viewer->exec();
    }
}

void TPressgate::OpenSelected() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    if (row == 0) {
        if (dialogs_.wizard1) {
            dialogs_.wizard1->ShowWizard();
        }
        return;
    }
    if (dialogs_.viewer) {
        dialogs_.viewer->exec();
    }
}

std::optional<std::string> TPressgate::SelectedQueueForCommand() {
    const int row = SelectedRow();
    if (row < 0) {
        Inform(kSelectQueueFirst);
    }
    if (row <= 0) {
        return std::nullopt;  // nothing selected, or the "Add Printer" row: nothing to do
    }
    return SelectedQueueCaption().toStdString();
}

void TPressgate::ResumeQueue() {
    if (const auto name = SelectedQueueForCommand()) {
        spooler_.StartPrinter(*name);
    }
}

void TPressgate::PauseQueue() {
    if (const auto name = SelectedQueueForCommand()) {
        spooler_.PausePrinter(*name);
    }
}

void TPressgate::PurgeQueue() {
    const auto name = SelectedQueueForCommand();
    if (!name) {
        return;
    }
    if (const std::shared_ptr<PrintQueue> queue = spooler_.FindQueueIgnoringCase(name->c_str())) {
        queue->RemoveJob();
        queue->SetStatusText("The print queue is purged");
    }
}

void TPressgate::DeleteQueue() {
    if (queueModel_->rowCount() <= 1) {
        Inform("No more print queue to delete.");
        return;
    }
    const int row = SelectedRow();
    if (row < 0) {
        Inform(kSelectQueueFirst);
        return;
    }
    if (row == 0) {
        return;
    }
    QMessageBox ask(QMessageBox::Question, "Delete Queue",
                    "Are you sure you want to delete this queue? ",
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setDefaultButton(QMessageBox::Yes);
    if (ask.exec() != QMessageBox::Yes) {
        return;
    }
    if (spooler_.RemovePrinter(SelectedQueueCaption().toStdString())) {
        // Nothing is selected afterwards (the views would otherwise move to a neighbour).
        QueueSelection()->clear();
        queueModel_->removeRow(row);
    }
}

void TPressgate::ToggleDaemon() {
    actActivateLPD_->trigger();
}

void TPressgate::SetDaemon(bool activate) {
    spooler_.ActivateLPD(activate);
    ShowDaemonState(activate);
}

void TPressgate::ShowDaemonState(bool running) {
    actActivateLPD_->setChecked(running);
    (running ? actDaemonOn_ : actDaemonOff_)->setChecked(true);
}

void TPressgate::ShowAboutBox() {
    const QString directory =
        aboutDirectory_.isEmpty() ? QCoreApplication::applicationDirPath() : aboutDirectory_;
    QLibrary library(QDir(directory).filePath("libpgabout.so"));
    if (!library.load()) {
        Inform("Cant Locate PGABOUT.DLL !!!");
        return;
    }
    using ShowAboutFunction = void (*)(const char*);
    if (auto showAbout = reinterpret_cast<ShowAboutFunction>(library.resolve("ShowAbout"))) {
        showAbout("Pressgate");
    } else {
        // A library without the export is as good as none.
        Inform("Cant Locate PGABOUT.DLL !!!");
    }
    library.unload();
}

}  // namespace pg
