#pragma once

class QComboBox;

namespace pg {

class LPDSpooler;

// The printer boxes of the wizard and of the local properties dialog: every printer of the
// print layer in its own order, and the default printer's name as the box's text.
class PrinterChoices {
  public:
    // Clears the box and fills it; returns how many printers were listed (0 also when the
    // spooler has no print system).
    static int Fill(QComboBox& box, const LPDSpooler& spooler);
};

}  // namespace pg
