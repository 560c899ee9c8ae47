#include "ui/TGeneralSettings.h"

namespace pg {

TGeneralSettings::TGeneralSettings(LPDSpooler& spooler, QWidget* parent)
    : QDialog(parent), spooler_(spooler) {}

}  // namespace pg
