#pragma once

#include <QDialog>

namespace pg {

class LPDSpooler;
class TPressgate;

// "General Settings": the spooler's general settings, saved with SaveSettings on OK. Modal;
// refilled from the spooler each time it is shown.
class TGeneralSettings : public QDialog {
    Q_OBJECT

  public:
    TGeneralSettings(LPDSpooler& spooler, QWidget* parent = nullptr);

  private:
    LPDSpooler& spooler_;
};

}  // namespace pg
