#pragma once

#include <QDialog>

namespace pg {

class LPDSpooler;
class TPressgate;

// "View Printer Queue": the jobs of the queue selected in the main window, with Delete, Pause and
// Resume. Modal.
class TViewPrintQ : public QDialog {
    Q_OBJECT

  public:
    TViewPrintQ(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);

  private:
    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
};

}  // namespace pg
