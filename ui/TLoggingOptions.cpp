#include "ui/TLoggingOptions.h"

namespace pg {

TLoggingOptions::TLoggingOptions(LPDSpooler& spooler, QWidget* parent)
    : QDialog(parent), spooler_(spooler) {}

}  // namespace pg
