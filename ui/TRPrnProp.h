#pragma once

#include <QDialog>

namespace pg {

class LPDSpooler;
class TPressgate;

// "Remote Printer Properties": remote queue, host and port of the forwarding queue selected in the
// main window. Modal.
class TRPrnProp : public QDialog {
    Q_OBJECT

  public:
    TRPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);

  private:
    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
};

}  // namespace pg
