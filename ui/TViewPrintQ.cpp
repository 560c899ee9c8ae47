#include "ui/TViewPrintQ.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/DialogButtons.h"
#include "ui/HelpViewer.h"
#include "ui/JobSizeText.h"
#include "ui/TPressgate.h"

namespace pg {

namespace {

enum Column { kJobName, kStatus, kSize, kUser, kHost, kTimeDate, kComment, kJobRef, kColumns };

struct ColumnInfo {
    const char* caption;
    int width;
};

constexpr ColumnInfo kColumnInfo[kColumns] = {
    {"Job Name", 70}, {"Status", 50},    {"Size", 50},     {"User", 60},
    {"Host", 100},    {"Time/Date", 65}, {"Comment", 100}, {"Job Ref. No.", 90},
};

}  // namespace

TViewPrintQ::TViewPrintQ(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {
    setWindowTitle("View Printer Queue");
    setFixedSize(610, 256);

    jobList_ = new QTreeWidget(this);
    jobList_->setObjectName("jobList");
    jobList_->setColumnCount(kColumns);
    QStringList captions;
    for (const ColumnInfo& column : kColumnInfo) {
        captions << column.caption;
    }
    jobList_->setHeaderLabels(captions);
    for (int column = 0; column < kColumns; ++column) {
        jobList_->setColumnWidth(column, kColumnInfo[column].width);
    }
    jobList_->header()->setStretchLastSection(false);
    jobList_->setRootIsDecorated(false);
    jobList_->setItemsExpandable(false);
    jobList_->setUniformRowHeights(true);
    jobList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    jobList_->setSelectionMode(QAbstractItemView::SingleSelection);
    jobList_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* deleteButton = MakeButton("Delete Job", "deleteJobButton", this);
    auto* pauseButton = MakeButton("Pause Job", "pauseJobButton", this);
    auto* resumeButton = MakeButton("Resume Job", "resumeJobButton", this);
    auto* refreshButton = MakeButton("Refresh List", "refreshButton", this);
    auto* closeButton = MakeButton("Close", "closeButton", this);
    auto* helpButton = MakeButton("Help", "helpButton", this);
    for (QPushButton* button :
         {deleteButton, pauseButton, resumeButton, refreshButton, closeButton, helpButton}) {
        button->setAutoDefault(false);  // Return in the list does not press a job button
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(deleteButton);
    buttons->addWidget(pauseButton);
    buttons->addWidget(resumeButton);
    buttons->addWidget(refreshButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    buttons->addWidget(helpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(jobList_, 1);
    layout->addLayout(buttons);

    connect(deleteButton, &QPushButton::clicked, this,
            [this] { JobButtonClick(JobAction::Delete); });
    connect(pauseButton, &QPushButton::clicked, this, [this] { JobButtonClick(JobAction::Pause); });
    connect(resumeButton, &QPushButton::clicked, this,
            [this] { JobButtonClick(JobAction::Resume); });
    connect(refreshButton, &QPushButton::clicked, this, &TViewPrintQ::FillList);
    connect(closeButton, &QPushButton::clicked, this, &TViewPrintQ::accept);
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelp(this, kHelpQueueViewer); });
}

QString TViewPrintQ::JobRefText(int32_t jobNo) {
    return QString::asprintf("#%03d", jobNo);
}

int32_t TViewPrintQ::JobRefNumber(const QString& text) {
    // The leading digits only; 0 when there are none.
    qsizetype end = 1;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9') {
        ++end;
    }
    return text.mid(1, end - 1).toInt();
}

void TViewPrintQ::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FillList();
    }
}

void TViewPrintQ::FillList() {
    const QString caption =
        mainWindow_ != nullptr ? mainWindow_->SelectedQueueCaption() : QString();
    std::shared_ptr<PrintQueue> queue = spooler_.FindQueue(caption.toStdString());
    jobList_->clear();
    currentQueue_ = queue;
    if (!queue) {
        return;
    }
    for (const std::shared_ptr<JobEntry>& job : queue->Jobs()) {
        std::string stateName;
        job->StateName(stateName);
        const uint32_t size = job->TotalSize();  // before the comment: it may set the status
        QStringList columns(kColumns);
        columns[kJobName] = QString::fromStdString(job->jobName);
        columns[kStatus] = QString::fromStdString(stateName);
        columns[kSize] = JobSizeText(size);
        columns[kUser] = QString::fromStdString(job->userName);
        columns[kHost] = QString::fromStdString(job->hostName);
        columns[kTimeDate] = QString::fromStdString(job->timeDate);
        columns[kComment] = QString::fromStdString(job->StatusText());
        columns[kJobRef] = JobRefText(job->jobNo);
        jobList_->addTopLevelItem(new QTreeWidgetItem(columns));
    }
}

std::shared_ptr<PrintQueue> TViewPrintQ::CurrentQueue() const {
    std::shared_ptr<PrintQueue> queue = currentQueue_.lock();
    // A queue deleted since the list was filled is left alone.
    if (queue && spooler_.FindQueue(queue->name) != queue) {
        return nullptr;
    }
    return queue;
}

// The row is found again by number, user and host: the job it showed may have been printed
// and removed meanwhile, and then nothing happens but the refresh.
void TViewPrintQ::JobButtonClick(JobAction action) {
    const QList<QTreeWidgetItem*> selected = jobList_->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const QTreeWidgetItem* row = selected.front();
    const std::string user = row->text(kUser).toStdString();
    const std::string host = row->text(kHost).toStdString();
    const int32_t jobNo = JobRefNumber(row->text(kJobRef));
    if (std::shared_ptr<PrintQueue> queue = CurrentQueue()) {
        if (action == JobAction::Delete) {
            queue->RemoveJob(jobNo, user, host);
        } else if (std::shared_ptr<JobEntry> job = queue->FindJob(jobNo, user, host)) {
            if (action == JobAction::Pause) {
                job->Pause();
            } else {
                job->Resume();
            }
        }
    }
    FillList();
}

}  // namespace pg
