#pragma once

#include <QDialog>
#include <memory>

class QLineEdit;

namespace pg {

class LPDSpooler;
class PrintQueue;
class UpDownSpinBox;

// "Remote Printer Properties": the remote queue, host and port of one forwarding queue. Modal;
// Apply and OK store the changes with UpdatePrinter while the spooler still has the queue,
// after the same checks as the add-queue wizard.
class RemoteQueueDialog : public QDialog {
    Q_OBJECT

  public:
    RemoteQueueDialog(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                      QWidget* parent = nullptr);

  private:
    // False, after saying why, when a field cannot be stored.
    bool Apply();

    LPDSpooler& spooler_;
    const std::shared_ptr<PrintQueue> queue_;
    QLineEdit* queueNameEdit_;
    QLineEdit* remoteQueueEdit_;
    QLineEdit* remoteHostEdit_;
    UpDownSpinBox* remotePortSpin_;
};

}  // namespace pg
