#include "ui/QueueJobsDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "ui/DialogButtons.h"
#include "ui/HelpViewer.h"
#include "ui/ItemViews.h"
#include "ui/MainWindow.h"
#include "ui/ProgressDelegate.h"
#include "ui/QueueJobsModel.h"
#include "ui/WindowSettings.h"

namespace pg {

namespace {

constexpr const char* kGeometryKey = "QueueJobs/Geometry";
constexpr const char* kColumnsKey = "QueueJobs/Columns";

}  // namespace

QueueJobsDialog::QueueJobsDialog(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                                 QWidget* parent)
    : QDialog(parent), spooler_(spooler) {
    setWindowTitle("View Printer Queue: " + QString::fromStdString(queue ? queue->name : ""));
    resize(900, 320);
    model_ = new QueueJobsModel(spooler, std::move(queue), this);

    view_ = new QTreeView(this);
    view_->setObjectName("jobList");
    DropSelectionWithLeavingRows(*model_, *view_);
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setItemDelegateForColumn(QueueJobsModel::kProgress, new ProgressDelegate(view_));
    view_->header()->setStretchLastSection(false);
    view_->header()->setSectionResizeMode(QueueJobsModel::kComment, QHeaderView::Stretch);

    deleteButton_ = MakeButton("&Delete Job", "deleteJobButton", this);
    pauseButton_ = MakeButton("&Pause Job", "pauseJobButton", this);
    resumeButton_ = MakeButton("&Resume Job", "resumeJobButton", this);
    auto* refreshButton = MakeButton("Re&fresh List", "refreshButton", this);
    auto* closeButton = MakeButton("Close", "closeButton", this);
    auto* helpButton = MakeButton("Help", "helpButton", this);
    for (QPushButton* button :
         {deleteButton_, pauseButton_, resumeButton_, refreshButton, closeButton, helpButton}) {
        button->setAutoDefault(false);  // Return in the list does not press a job button
    }
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {deleteButton_, pauseButton_, resumeButton_, refreshButton}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    buttons->addWidget(helpButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);

    connect(deleteButton_, &QPushButton::clicked, this, [this] { Act(JobAction::Delete); });
    connect(pauseButton_, &QPushButton::clicked, this, [this] { Act(JobAction::Pause); });
    connect(resumeButton_, &QPushButton::clicked, this, [this] { Act(JobAction::Resume); });
    connect(refreshButton, &QPushButton::clicked, this, &QueueJobsDialog::RefreshList);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelp(this, kHelpQueueViewer); });
    const auto key = [this](QKeySequence sequence, auto slot) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, slot);
    };
    key(QKeySequence::Delete, [this] { Act(JobAction::Delete); });
    key(Qt::Key_F5, [this] { RefreshList(); });
    key(Qt::Key_F1, [this] { ShowHelp(this, kHelpQueueViewer); });
    key(QKeySequence::Close, [this] { accept(); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &QueueJobsDialog::UpdateButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, &QueueJobsDialog::UpdateButtons);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &QueueJobsDialog::UpdateButtons);

    // The jobs move while the dialog is open: sampled as often as the main window's list.
    auto* timer = new QTimer(this);
    timer->setInterval(MainWindow::kRefreshIntervalMs);
    connect(timer, &QTimer::timeout, this, [this] {
        model_->Refresh();
        FitColumnsToContents(*view_);
    });
    timer->start();

    const auto settings = OpenWindowSettings(spooler_);
    restoreGeometry(settings->value(kGeometryKey).toByteArray());
    // Columns as the operator left them, else just wide enough for what they show.
    const bool remembered =
        view_->header()->restoreState(settings->value(kColumnsKey).toByteArray());
    FitColumnsToContents(*view_, !remembered);
    UpdateButtons();
}

QueueJobsDialog::~QueueJobsDialog() {
    const auto settings = OpenWindowSettings(spooler_);
    settings->setValue(kGeometryKey, saveGeometry());
    settings->setValue(kColumnsKey, view_->header()->saveState());
}

void QueueJobsDialog::UpdateButtons() {
    const bool selected = !view_->selectionModel()->selectedRows().isEmpty();
    for (QPushButton* button : {deleteButton_, pauseButton_, resumeButton_}) {
        button->setEnabled(selected);
    }
}

void QueueJobsDialog::RefreshList() {
    model_->Refresh();
    FitColumnsToContents(*view_);
}

void QueueJobsDialog::Act(JobAction action) {
    const QModelIndexList selected = view_->selectionModel()->selectedRows();
    const QueueJobsModel::JobRow* row =
        selected.isEmpty() ? nullptr : model_->Job(selected.first().row());
    const std::shared_ptr<PrintQueue> queue = model_->Queue();
    if (row != nullptr && queue) {
        if (action == JobAction::Delete) {
            queue->RemoveJob(row->jobNo, row->user, row->host);
        } else if (const auto job = queue->FindJob(row->jobNo, row->user, row->host)) {
            action == JobAction::Pause ? queue->HoldJob(*job) : queue->ReleaseJob(*job);
        }
    }
    RefreshList();
}

}  // namespace pg
