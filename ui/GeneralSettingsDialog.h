#pragma once

#include <QDialog>

#include "config/AccessRules.h"

class QCheckBox;
class QLineEdit;
class QTabWidget;

namespace pg {

class AccessRulesPage;
class LimitsPage;
class LPDSpooler;
class UpDownSpinBox;

// "General Settings": the spooler's general settings, its [Access] rules and its limits. OK
// checks the tabs, puts the settings in force at once and saves them; a value that would be
// rejected keeps the dialog open and says which. Modal. The settings sit on tabs, so a new
// group of settings is a new tab: build its page, add it with AddTab(), and store it in Save().
class GeneralSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit GeneralSettingsDialog(LPDSpooler& spooler, QWidget* parent = nullptr);

    void AddTab(QWidget* page, const QString& title);

  private:
    QWidget* MakeGeneralPage();
    void Load();
    // False, with the problem shown, when a tab holds a value that cannot be used.
    bool Save();
    void HostFileBrowse();
    void SpoolAreaBrowse();

    LPDSpooler& spooler_;
    QTabWidget* tabs_;
    AccessRulesPage* accessPage_;
    LimitsPage* limitsPage_;
    AccessRules shownAccess_;
    int shownLogMaxMB_ = 0;

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
