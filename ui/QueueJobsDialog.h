#pragma once

#include <QDialog>
#include <memory>

class QPushButton;
class QTreeView;

namespace pg {

class LPDSpooler;
class PrintQueue;
class QueueJobsModel;

// "View Printer Queue": the jobs of one queue, live (each job being received or delivered
// shows its bytes and rate), with Delete, Pause and Resume for the selected job. Modal.
class QueueJobsDialog : public QDialog {
    Q_OBJECT

  public:
    QueueJobsDialog(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                    QWidget* parent = nullptr);
    ~QueueJobsDialog() override;

    enum class JobAction { Delete, Pause, Resume };
    // The job button's work on the selected job, found again by its number, user and host
    // (it may have been printed meanwhile), then the list again.
    void Act(JobAction action);
    // "Refresh List": the list at once, without waiting for the next sample.
    void RefreshList();

    QueueJobsModel* Model() const { return model_; }
    QTreeView* View() const { return view_; }

  private:
    void UpdateButtons();

    LPDSpooler& spooler_;
    QueueJobsModel* model_;
    QTreeView* view_;
    QPushButton* deleteButton_;
    QPushButton* pauseButton_;
    QPushButton* resumeButton_;
};

}  // namespace pg
