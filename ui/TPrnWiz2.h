#pragma once

#include <QDialog>

namespace pg {

class LPDSpooler;
class TPressgate;
class TPrnWiz1;

// Add-queue wizard, page 2 ("Add Printer: Remote Host Settings"): the remote queue, host and port
// of a forwarding queue.
class TPrnWiz2 : public QDialog {
    Q_OBJECT

  public:
    TPrnWiz2(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);
    void SetPage1(TPrnWiz1* page1) { page1_ = page1; }

  private:
    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
    TPrnWiz1* page1_ = nullptr;
};

}  // namespace pg
