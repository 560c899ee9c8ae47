#include "ui/QueueListModel.h"

#include <QIcon>
#include <algorithm>
#include <memory>
#include <string>

#include "engine/LPDSpooler.h"
#include "ui/JobTexts.h"
#include "ui/ProgressDelegate.h"

namespace pg {

namespace {

// The queue list's pictures by image index: add printer, local queue, remote queue.
QIcon QueueImage(int index) {
    static const char* const kNames[] = {"addprinter", "localqueue", "remotequeue"};
    const QString name = kNames[index >= 0 && index < 3 ? index : 0];
    QIcon icon;
    icon.addFile(QString(":/images/icons/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QString(":/images/icons/%1-32.png").arg(name), QSize(32, 32));
    return icon;
}

}  // namespace

QueueListModel::QueueListModel(LPDSpooler& spooler, QObject* parent)
    : QAbstractTableModel(parent), spooler_(spooler) {}

QueueListModel::QueueRow QueueListModel::Snapshot(const PrintQueue& queue) {
    QueueRow row;
    row.name = QString::fromStdString(queue.name);
    row.remote = queue.IsRemote();
    row.state = queue.State();
    std::string stateName;
    std::string status;
    queue.GetStatus(stateName, row.jobs, status);
    row.stateName = QString::fromStdString(stateName);
    row.comment = QString::fromStdString(status);
    for (const std::shared_ptr<JobEntry>& job : queue.Jobs()) {
        const Transfer transfer = meter_.Sample(*job);
        if (transfer.active) {
            row.transfer.active = true;
            row.transfer.done += transfer.done;
            row.transfer.total += transfer.total;
            row.transfer.bytesPerSecond += transfer.bytesPerSecond;
        }
    }
    return row;
}

void QueueListModel::Refresh() {
    std::vector<QueueRow> fresh;
    for (const std::shared_ptr<PrintQueue>& queue : spooler_.Printers()) {
        fresh.push_back(Snapshot(*queue));
    }
    meter_.EndRound();

    // Queues that went, then queues that came: the spooler only appends and removes, so what
    // stays keeps its order.
    for (int i = static_cast<int>(queues_.size()) - 1; i >= 0; --i) {
        const bool kept = std::any_of(fresh.begin(), fresh.end(), [&](const QueueRow& row) {
            return row.name == queues_[i].name;
        });
        if (!kept) {
            beginRemoveRows({}, i + 1, i + 1);
            queues_.erase(queues_.begin() + i);
            endRemoveRows();
        }
    }
    for (size_t i = 0; i < fresh.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        if (i >= queues_.size() || queues_[i].name != fresh[i].name) {
            beginInsertRows({}, row, row);
            queues_.insert(queues_.begin() + static_cast<ptrdiff_t>(i), fresh[i]);
            endInsertRows();
        } else if (!(queues_[i] == fresh[i])) {
            queues_[i] = fresh[i];
            emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
        }
    }
    if (queues_.size() > fresh.size()) {  // only if the order changed after all
        beginRemoveRows({}, static_cast<int>(fresh.size()) + 1, static_cast<int>(queues_.size()));
        queues_.resize(fresh.size());
        endRemoveRows();
    }
    emit Refreshed();
}

const QueueListModel::QueueRow* QueueListModel::Queue(int row) const {
    return row >= 1 && row <= static_cast<int>(queues_.size()) ? &queues_[row - 1] : nullptr;
}

int QueueListModel::RowOf(const QString& name) const {
    for (size_t i = 0; i < queues_.size(); ++i) {
        if (queues_[i].name == name) {
            return static_cast<int>(i) + 1;
        }
    }
    return -1;
}

int QueueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(queues_.size()) + 1;
}

int QueueListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant QueueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const QueueRow* queue = Queue(index.row());
    const int image = queue == nullptr ? 0 : (queue->remote ? 2 : 1);
    if (role == kImageIndexRole) {
        return image;
    }
    if (role == Qt::DecorationRole && index.column() == kName) {
        return QueueImage(image);
    }
    if (role == Qt::TextAlignmentRole && index.column() == kJobs) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role == ProgressDelegate::kPercentRole && index.column() == kProgress && queue) {
        return queue->transfer.Percent();
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    if (queue == nullptr) {
        if (index.column() == kName) {
            return kAddPrinterCaption;
        }
        return index.column() == kComments ? QString("Double click to add a printer") : QString();
    }
    switch (index.column()) {
        case kName:
            return queue->name;
        case kJobs:
            return QString::number(queue->jobs);
        case kStatus:
            return queue->stateName;
        case kProgress:
            return TransferText(queue->transfer);
        case kComments:
            return queue->comment;
        default:
            return {};
    }
}

QVariant QueueListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kCaptions[kColumnCount] = {"Name", "Jobs", "Status", "Progress",
                                                        "Comments"};
    return section >= 0 && section < kColumnCount ? QString(kCaptions[section]) : QVariant();
}

}  // namespace pg
