#include "ui/TViewPrintQ.h"

namespace pg {

TViewPrintQ::TViewPrintQ(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {}

}  // namespace pg
