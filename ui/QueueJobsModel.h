#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "ui/TransferMeter.h"

namespace pg {

class LPDSpooler;
class PrintQueue;

// The jobs of one queue, head first, as the queue viewer lists them: a copy of what the engine
// held at the last Refresh(), changed in place so the selected job stays selected. The list is
// empty once the queue has left the spooler.
class QueueJobsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column {
        kJobName,
        kStatus,
        kSize,
        kProgress,
        kUser,
        kHost,
        kTimeDate,
        kComment,
        kJobRef,
        kColumnCount
    };

    // One job as the last refresh found it.
    struct JobRow {
        TransferMeter::JobKey key;
        int32_t jobNo = 0;
        std::string user;
        std::string host;
        QString jobName;
        JobState state = JobState::Spooling;
        QString stateName;
        uint64_t size = 0;
        QString timeDate;
        QString comment;
        Transfer transfer;

        bool operator==(const JobRow&) const = default;
    };

    QueueJobsModel(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                   QObject* parent = nullptr);

    // A new snapshot of the queue's jobs.
    void Refresh();
    // The queue while the spooler still has it.
    std::shared_ptr<PrintQueue> Queue() const;
    const JobRow* Job(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    LPDSpooler& spooler_;
    const std::weak_ptr<PrintQueue> queue_;
    TransferMeter meter_;
    std::vector<JobRow> jobs_;
};

}  // namespace pg
