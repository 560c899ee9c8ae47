#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QTabWidget;

namespace pg {

class LPDSpooler;
class UpDownSpinBox;

// "General Settings": the spooler's general settings, saved with SaveSettings on OK. Modal.
// The settings sit on tabs, so a new group of settings is a new tab: build its page, add it
// with AddTab(), and store it in Save().
class GeneralSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit GeneralSettingsDialog(LPDSpooler& spooler, QWidget* parent = nullptr);

    void AddTab(QWidget* page, const QString& title);

  private:
    QWidget* MakeGeneralPage();
    void Load();
    void Save();
    void HostFileBrowse();
    void SpoolAreaBrowse();

    LPDSpooler& spooler_;
    QTabWidget* tabs_;

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
