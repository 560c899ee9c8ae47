#pragma once

#include <QDialog>

class QLineEdit;
class QShowEvent;

namespace pg {

class LPDSpooler;
class TPressgate;
class TPrnWiz1;
class UpDownSpinBox;

// Add-queue wizard, page 2 ("Add Printer: Remote Host Settings"): the remote queue, host and port
// of a forwarding queue.
class TPrnWiz2 : public QDialog {
    Q_OBJECT

  public:
    TPrnWiz2(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);
    void SetPage1(TPrnWiz1* page1) { page1_ = page1; }
    // Shows the page without blocking the main window; the remote queue and host fields start
    // empty, the port keeps what it held last time.
    void ShowPage();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BackButtonClick();
    void FinishButtonClick();

    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
    TPrnWiz1* page1_ = nullptr;

    QLineEdit* remoteQueueEdit_;
    QLineEdit* remoteHostEdit_;
    UpDownSpinBox* remotePortSpin_;
};

}  // namespace pg
