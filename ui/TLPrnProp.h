#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QShowEvent;

namespace pg {

class LPDSpooler;
class TPressgate;

// "Local Printer Properties": printer and form feed of the local queue selected in the main window.
// Modal.
class TLPrnProp : public QDialog {
    Q_OBJECT

  public:
    TLPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void ApplyButtonClick();

    LPDSpooler& spooler_;
    TPressgate* mainWindow_;

    QLineEdit* queueNameEdit_;
    QComboBox* printerBox_;
    QCheckBox* formFeedCheck_;
};

}  // namespace pg
