#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QShowEvent;

namespace pg {

class LPDSpooler;
class TPressgate;
class UpDownSpinBox;

// "General Settings": the spooler's general settings, saved with SaveSettings on OK. Modal;
// refilled from the spooler each time it is shown.
class TGeneralSettings : public QDialog {
    Q_OBJECT

  public:
    TGeneralSettings(LPDSpooler& spooler, QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void OkButtonClick();
    void HostFileBrowseClick();
    void SpoolAreaBrowseClick();

    LPDSpooler& spooler_;

    QLineEdit* hostFileEdit_;
    QLineEdit* spoolAreaEdit_;
    QCheckBox* clearSpoolCheck_;
    UpDownSpinBox* localTimeoutSpin_;
    UpDownSpinBox* remoteTimeoutSpin_;
    UpDownSpinBox* portSpin_;
    QCheckBox* testPrintManagerCheck_;
    QCheckBox* statusControlCheck_;
    QCheckBox* suppressBannerCheck_;
    QCheckBox* activateOnStartCheck_;
    QCheckBox* minimizeOnStartCheck_;
};

}  // namespace pg
