#include "ui/PrinterChoices.h"

#include <QComboBox>
#include <string>
#include <vector>

#include "engine/LPDSpooler.h"
#include "platform/PrintSystem.h"

namespace pg {

int PrinterChoices::Fill(QComboBox& box, const LPDSpooler& spooler) {
    box.clear();
    PrintSystem* printSystem = spooler.GetPrintSystem();
    if (printSystem == nullptr) {
        box.setEditText({});
        return 0;
    }
    const std::vector<std::string> printers = printSystem->Printers();
    for (const std::string& printer : printers) {
        box.addItem(QString::fromStdString(printer));
    }
    // Adding to an empty box selects its first item; the box's text is the default printer's
    // name instead (empty when the print layer names none), as an operator expects.
    const QString defaultPrinter = QString::fromStdString(printSystem->DefaultPrinter());
    const int index = box.findText(defaultPrinter, Qt::MatchExactly | Qt::MatchCaseSensitive);
    box.setCurrentIndex(index);
    if (index < 0) {
        box.setEditText(defaultPrinter);
    }
    return static_cast<int>(printers.size());
}

}  // namespace pg
