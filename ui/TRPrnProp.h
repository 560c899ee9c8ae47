#pragma once

#include <QDialog>

class QLineEdit;
class QShowEvent;

namespace pg {

class LPDSpooler;
class TPressgate;
class UpDownSpinBox;

// "Remote Printer Properties": remote queue, host and port of the forwarding queue selected in the
// main window. Modal.
class TRPrnProp : public QDialog {
    Q_OBJECT

  public:
    TRPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void ApplyButtonClick();

    LPDSpooler& spooler_;
    TPressgate* mainWindow_;

    QLineEdit* queueNameEdit_;
    QLineEdit* remoteQueueEdit_;
    QLineEdit* remoteHostEdit_;
    UpDownSpinBox* remotePortSpin_;
};

}  // namespace pg
