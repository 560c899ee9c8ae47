#pragma once

#include <QDialog>

namespace pg {

class LPDSpooler;
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

  private:
    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
    TPrnWiz2* page2_ = nullptr;
};

}  // namespace pg
