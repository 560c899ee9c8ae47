#include "ui/TPressgate.h"

namespace pg {

// Placeholder until the main window lands.
TPressgate::TPressgate(LPDSpooler& spooler, QWidget* parent)
    : QMainWindow(parent), spooler_(spooler) {}

TPressgate::~TPressgate() = default;

void TPressgate::SetDialogs(const Dialogs& dialogs) {
    dialogs_ = dialogs;
}

QString TPressgate::SelectedQueueCaption() const {
    return {};
}

void TPressgate::AppendQueueRow(const LPDPrinter&) {}

void TPressgate::UpdateListView() {}

}  // namespace pg
