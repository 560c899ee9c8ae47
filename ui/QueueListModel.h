#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <vector>

#include "engine/PrintQueue.h"
#include "ui/TransferMeter.h"

namespace pg {

class LPDSpooler;

// The main window's queue list: the row "Add Printer", then one row per queue in the
// spooler's order, each a copy of what the engine held at the last Refresh(). A refresh
// changes rows in place (inserting and removing only the queues that came or went), so the
// selection and the views' scroll positions survive it.
class QueueListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { kName, kJobs, kStatus, kProgress, kComments, kColumnCount };
    // The row's picture: 0 "Add Printer", 1 local queue, 2 remote queue.
    static constexpr int kImageIndexRole = Qt::UserRole + 1;
    static constexpr const char* kAddPrinterCaption = "Add Printer";

    // One queue as the last refresh found it.
    struct QueueRow {
        QString name;
        bool remote = false;
        QueueState state = QueueState::Initial;
        QString stateName;
        uint32_t jobs = 0;
        QString comment;
        Transfer transfer;  // of the queue's moving jobs together

        bool operator==(const QueueRow&) const = default;
    };

    explicit QueueListModel(LPDSpooler& spooler, QObject* parent = nullptr);

    // Takes a new snapshot of the spooler's queues and their moving jobs.
    void Refresh();
    // The queue shown in row, null for the "Add Printer" row and rows out of range.
    const QueueRow* Queue(int row) const;
    // The row of the queue named exactly so; -1 when there is none.
    int RowOf(const QString& name) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // After every Refresh(), whether anything changed or not.
    void Refreshed();

  private:
    QueueRow Snapshot(const PrintQueue& queue);

    LPDSpooler& spooler_;
    TransferMeter meter_;
    std::vector<QueueRow> queues_;  // row i + 1
};

}  // namespace pg
