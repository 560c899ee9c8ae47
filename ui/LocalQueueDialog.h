#pragma once

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace pg {

class LPDSpooler;
class PrintQueue;

// "Local Printer Properties": the printer and the form feed of one local queue. Modal; Apply
// and OK store the changes with UpdatePrinter while the spooler still has the queue.
class LocalQueueDialog : public QDialog {
    Q_OBJECT

  public:
    LocalQueueDialog(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                     QWidget* parent = nullptr);

  private:
    bool Apply();

    LPDSpooler& spooler_;
    const std::shared_ptr<PrintQueue> queue_;
    QLineEdit* queueNameEdit_;
    QComboBox* printerBox_;
    QCheckBox* formFeedCheck_;
};

}  // namespace pg
