#include "ui/TRPrnProp.h"

namespace pg {

TRPrnProp::TRPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {}

}  // namespace pg
