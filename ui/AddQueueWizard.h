#pragma once

#include <QWizard>

namespace pg {

class LPDSpooler;

// The add-queue wizard: page 1 chooses a local printer or a remote LPD and names the queue;
// page 2, for a remote queue only, names the remote queue, host and port. Every page checks
// what it was given before it lets the operator on (Return goes on, as Next or Finish).
// Finish hands the new queue to the spooler, starts it when the daemon runs, and tells the
// main window. Not modal: the main window stays usable.
class AddQueueWizard : public QWizard {
    Q_OBJECT

  public:
    enum PageId { kQueuePage = 0, kRemotePage = 1 };

    explicit AddQueueWizard(LPDSpooler& spooler, QWidget* parent = nullptr);

    // Accepting checks the page, then adds the queue; the wizard stays open when either
    // refuses.
    void done(int result) override;

  signals:
    void QueueAdded(const QString& name);

  private:
    bool AddTheQueue();

    LPDSpooler& spooler_;
};

}  // namespace pg
