#include "ui/TPrnWiz2.h"

namespace pg {

TPrnWiz2::TPrnWiz2(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {}

}  // namespace pg
