#include "ui/TLPrnProp.h"

namespace pg {

TLPrnProp::TLPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {}

}  // namespace pg
