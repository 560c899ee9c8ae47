#pragma once

#include <QDialog>

namespace pg {

class LPDSpooler;
class TPressgate;

// "Logging Options": the [Logging] keys of pgate.ini, with the screen and enable switches applied
// at once on OK. Modal; refilled from the file each time it is shown.
class TLoggingOptions : public QDialog {
    Q_OBJECT

  public:
    TLoggingOptions(LPDSpooler& spooler, QWidget* parent = nullptr);

  private:
    LPDSpooler& spooler_;
};

}  // namespace pg
