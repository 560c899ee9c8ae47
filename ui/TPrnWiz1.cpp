#include "ui/TPrnWiz1.h"

namespace pg {

TPrnWiz1::TPrnWiz1(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {}

void TPrnWiz1::ShowWizard() {
    show();
}

QString TPrnWiz1::QueueName() const {
    return {};
}

}  // namespace pg
