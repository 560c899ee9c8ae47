#pragma once

#include <QDialog>
#include <QString>

#include "config/LoggingSettings.h"

class QCheckBox;
class QLineEdit;

namespace pg {

class LPDSpooler;
class UpDownSpinBox;

// "Logging Options": the [Logging] keys of pgate.ini. Modal. It shows each key as the daemon
// reads it (an absent key with the daemon's own default) and OK writes only the keys the
// operator changed, so OK on an untouched dialog leaves the file as it was. The screen and
// the three file switches act at once; the level and the file names at the next start.
class LoggingDialog : public QDialog {
    Q_OBJECT

  public:
    explicit LoggingDialog(LPDSpooler& spooler, QWidget* parent = nullptr);

  private:
    void Load();
    void Save();
    void Browse(QLineEdit* field, const QString& title);

    LPDSpooler& spooler_;
    LoggingSettings shown_;  // what the dialog showed when it opened

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
