#include "ui/QueueJobsModel.h"

#include <algorithm>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/JobTexts.h"
#include "ui/ProgressDelegate.h"

namespace pg {

QueueJobsModel::QueueJobsModel(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                               QObject* parent)
    : QAbstractTableModel(parent), spooler_(spooler), queue_(std::move(queue)) {
    Refresh();
}

std::shared_ptr<PrintQueue> QueueJobsModel::Queue() const {
    std::shared_ptr<PrintQueue> queue = queue_.lock();
    // A queue deleted since the dialog opened is left alone.
    if (queue && spooler_.FindQueue(queue->name) != queue) {
        return nullptr;
    }
    return queue;
}

void QueueJobsModel::Refresh() {
    std::vector<std::shared_ptr<JobEntry>> jobs;
    if (const std::shared_ptr<PrintQueue> queue = Queue()) {
        jobs = queue->Jobs();
    }
    std::vector<JobRow> fresh;
    for (const std::shared_ptr<JobEntry>& job : jobs) {
        JobRow row;
        row.key = TransferMeter::KeyOf(*job);
        row.jobNo = job->jobNo;
        row.user = job->userName;
        row.host = job->hostName;
        row.jobName = QString::fromStdString(job->jobName);
        row.state = job->State();
        std::string stateName;
        job->StateName(stateName);
        row.stateName = QString::fromStdString(stateName);
        row.timeDate = QString::fromStdString(job->timeDate);
        row.transfer = meter_.Sample(*job);
        // While the job arrives, what has arrived; the whole job once it is known.
        row.size = std::max<uint64_t>(job->TotalSize(), row.transfer.total);
        row.comment = QString::fromStdString(job->StatusText());
        fresh.push_back(std::move(row));
    }
    meter_.EndRound();

    // Jobs only leave the list and join its end, so what stays keeps its order.
    for (int i = static_cast<int>(jobs_.size()) - 1; i >= 0; --i) {
        const bool kept = std::any_of(fresh.begin(), fresh.end(),
                                      [&](const JobRow& row) { return row.key == jobs_[i].key; });
        if (!kept) {
            beginRemoveRows({}, i, i);
            jobs_.erase(jobs_.begin() + i);
            endRemoveRows();
        }
    }
    for (size_t i = 0; i < fresh.size(); ++i) {
        const int row = static_cast<int>(i);
        if (i >= jobs_.size() || jobs_[i].key != fresh[i].key) {
            beginInsertRows({}, row, row);
            jobs_.insert(jobs_.begin() + row, fresh[i]);
            endInsertRows();
        } else if (!(jobs_[i] == fresh[i])) {
            jobs_[i] = fresh[i];
            emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
        }
    }
    if (jobs_.size() > fresh.size()) {
        beginRemoveRows({}, static_cast<int>(fresh.size()), static_cast<int>(jobs_.size()) - 1);
        jobs_.resize(fresh.size());
        endRemoveRows();
    }
}

const QueueJobsModel::JobRow* QueueJobsModel::Job(int row) const {
    return row >= 0 && row < static_cast<int>(jobs_.size()) ? &jobs_[row] : nullptr;
}

int QueueJobsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(jobs_.size());
}

int QueueJobsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant QueueJobsModel::data(const QModelIndex& index, int role) const {
    const JobRow* job = index.isValid() ? Job(index.row()) : nullptr;
    if (job == nullptr) {
        return {};
    }
    if (role == ProgressDelegate::kPercentRole && index.column() == kProgress) {
        return job->transfer.Percent();
    }
    if (role == Qt::TextAlignmentRole && (index.column() == kSize || index.column() == kJobRef)) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    switch (index.column()) {
        case kJobName:
            return job->jobName;
        case kStatus:
            return job->stateName;
        case kSize:
            return JobSizeText(job->size);
        case kProgress:
            return TransferText(job->transfer);
        case kUser:
            return QString::fromStdString(job->user);
        case kHost:
            return QString::fromStdString(job->host);
        case kTimeDate:
            return job->timeDate;
        case kComment:
            return job->comment;
        case kJobRef:
            return JobRefText(job->jobNo);
        default:
            return {};
    }
}

QVariant QueueJobsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kCaptions[kColumnCount] = {"Job Name",  "Status",  "Size",
                                                        "Progress",  "User",    "Host",
                                                        "Time/Date", "Comment", "Job Ref. No."};
    return section >= 0 && section < kColumnCount ? QString(kCaptions[section]) : QVariant();
}

}  // namespace pg
