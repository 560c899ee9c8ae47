#pragma once

#include <QDialog>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace pg {

class LPDSpooler;
class PrintQueue;
class TPressgate;
class TPrnWiz2;

// Add-queue wizard, page 1 ("Add Printer: Create LPD Queue"): local printer or remote LPD, and the
// queue name. Shown non-modally from the main window.
class TPrnWiz1 : public QDialog {
    Q_OBJECT

  public:
    TPrnWiz1(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);
    void SetPage2(TPrnWiz2* page2) { page2_ = page2; }
    // Runs the page's show procedure and shows it without blocking the main window.
    void ShowWizard();
    // The queue name typed on this page (page 2 reads it).
    QString QueueName() const;

    // What both pages do with the queue they built: hand it to the spooler (which refuses a
    // duplicate name with its own message), start it when the daemon runs, and give the main
    // window its row. False when the spooler refused it; the queue is then simply dropped.
    static bool AddQueue(LPDSpooler& spooler, TPressgate* mainWindow,
                         const std::shared_ptr<PrintQueue>& queue);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    // Local with an empty printer list falls back to remote; true when it did.
    bool ApplyRadioRule();
    void RadioButtonClick();
    void NextButtonClick();
    void ShowNoPrinters();

    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
    TPrnWiz2* page2_ = nullptr;

    QRadioButton* localRadio_;
    QRadioButton* remoteRadio_;
    QComboBox* printerBox_;
    QComboBox* remoteBox_;
    QLineEdit* queueNameEdit_;
    QPushButton* backButton_;
    QPushButton* nextButton_;
};

}  // namespace pg
