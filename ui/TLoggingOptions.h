#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QShowEvent;

namespace pg {

class LPDSpooler;
class TPressgate;
class UpDownSpinBox;

// "Logging Options": the [Logging] keys of pgate.ini, with the screen and enable switches applied
// at once on OK. Modal; refilled from the file each time it is shown.
class TLoggingOptions : public QDialog {
    Q_OBJECT

  public:
    TLoggingOptions(LPDSpooler& spooler, QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void OkButtonClick();
    void Browse(QLineEdit* field, const QString& title);

    LPDSpooler& spooler_;

    QCheckBox* localCheck_;
    QLineEdit* localTraceEdit_;
    QCheckBox* remoteCheck_;
    QLineEdit* remoteTraceEdit_;
    QCheckBox* logToFileCheck_;
    QLineEdit* systemTraceEdit_;
    QCheckBox* logToScreenCheck_;
    UpDownSpinBox* levelSpin_;
};

}  // namespace pg
