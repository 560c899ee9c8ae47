#pragma once

#include <QDialog>

namespace pg {

class LPDSpooler;
class TPressgate;

// "Local Printer Properties": printer and form feed of the local queue selected in the main window.
// Modal.
class TLPrnProp : public QDialog {
    Q_OBJECT

  public:
    TLPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);

  private:
    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
};

}  // namespace pg
