#include "ui/GeneralSettingsDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdint>

#include "config/GeneralSettings.h"
#include "config/LoggingSettings.h"
#include "engine/LPDSpooler.h"
#include "log/LogFile.h"
#include "ui/AccessRulesPage.h"
#include "ui/DialogButtons.h"
#include "ui/FileChooser.h"
#include "ui/HelpViewer.h"
#include "ui/LimitsPage.h"
#include "ui/UpDownSpinBox.h"

namespace pg {

namespace {

QCheckBox* MakeCheck(const QString& caption, const char* objectName, QWidget* parent) {
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(objectName);
    return check;
}

UpDownSpinBox* MakeSpin(int minimum, int maximum, int initial, const char* objectName,
                        QWidget* parent) {
    auto* spin = new UpDownSpinBox(minimum, maximum, initial, parent);
    spin->setObjectName(objectName);
    return spin;
}

QLineEdit* MakeEdit(const char* objectName, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    return edit;
}

// A caption whose mnemonic moves the focus to field.
QLabel* Caption(const QString& text, QWidget* field) {
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    return label;
}

// A path field with its Browse button beside it.
QHBoxLayout* WithBrowse(QLineEdit* field, QPushButton* browse) {
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(browse);
    return row;
}

}  // namespace

GeneralSettingsDialog::GeneralSettingsDialog(LPDSpooler& spooler, QWidget* parent)
    : QDialog(parent),
      spooler_(spooler),
      tabs_(new QTabWidget(this)),
      accessPage_(new AccessRulesPage),
      limitsPage_(new LimitsPage(spooler.Location())) {
    setWindowTitle("General Settings");
    AddTab(MakeGeneralPage(), "&General");
    AddTab(accessPage_, "A&ccess");
    AddTab(limitsPage_, "&Limits");

    auto* okButton = MakeButton("OK", "okButton", this);
    okButton->setDefault(true);
    auto* cancelButton = MakeButton("Cancel", "cancelButton", this);
    auto* helpButton = MakeButton("Help", "helpButton", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(ButtonRow({okButton, cancelButton, helpButton}));

    connect(okButton, &QPushButton::clicked, this, [this] {
        if (Save()) {
            accept();
        }
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpButton, &QPushButton::clicked, this,
            [this] { ShowHelp(this, kHelpGeneralSettings); });
    Load();
    resize(480, sizeHint().height());
}

void GeneralSettingsDialog::AddTab(QWidget* page, const QString& title) {
    tabs_->addTab(page, title);
}

QWidget* GeneralSettingsDialog::MakeGeneralPage() {
    auto* page = new QWidget;

    auto* directories = new QGroupBox("Directory Settings:  (Path only)", page);
    hostFileEdit_ = MakeEdit("hostFileEdit", directories);
    spoolAreaEdit_ = MakeEdit("spoolAreaEdit", directories);
    auto* hostFileBrowse = MakeButton("&Browse...", "hostFileBrowse", directories);
    auto* spoolAreaBrowse = MakeButton("B&rowse...", "spoolAreaBrowse", directories);
    clearSpoolCheck_ =
        MakeCheck("&Clear printer directories on startup", "clearSpoolCheck", directories);
    auto* directoryForm = new QFormLayout(directories);
    directoryForm->addRow(Caption("&Host File:", hostFileEdit_),
                          WithBrowse(hostFileEdit_, hostFileBrowse));
    directoryForm->addRow(Caption("&Spool Area:", spoolAreaEdit_),
                          WithBrowse(spoolAreaEdit_, spoolAreaBrowse));
    directoryForm->addRow(clearSpoolCheck_);

    auto* timeouts = new QGroupBox("Command Timeouts (seconds) ", page);
    localTimeoutSpin_ = MakeSpin(0, 120, 20, "localTimeoutSpin", timeouts);
    remoteTimeoutSpin_ = MakeSpin(0, 120, 20, "remoteTimeoutSpin", timeouts);
    auto* timeoutForm = new QFormLayout(timeouts);
    timeoutForm->addRow("L&ocal:", localTimeoutSpin_);
    timeoutForm->addRow("Re&mote:", remoteTimeoutSpin_);

    auto* listening = new QGroupBox("LPD Listening on ", page);
    portSpin_ = MakeSpin(0, 32000, 515, "portSpin", listening);
    auto* portForm = new QFormLayout(listening);
    portForm->addRow("LPD &Port:", portSpin_);

    auto* numbers = new QHBoxLayout;
    numbers->addWidget(timeouts);
    numbers->addWidget(listening);

    auto* switches = new QGroupBox("Switches", page);
    testPrintManagerCheck_ = MakeCheck("&Test the destination before accepting a job",
                                       "testPrintManagerCheck", switches);
    statusControlCheck_ =
        MakeCheck("&Enable remote print status controls", "statusControlCheck", switches);
    suppressBannerCheck_ = MakeCheck("S&uppress banner", "suppressBannerCheck", switches);
    activateOnStartCheck_ = MakeCheck("&Activate LPD on startup", "activateOnStartCheck", switches);
    minimizeOnStartCheck_ = MakeCheck("M&inimize LPD on startup", "minimizeOnStartCheck", switches);
    auto* switchLayout = new QVBoxLayout(switches);
    for (QCheckBox* check : {testPrintManagerCheck_, statusControlCheck_, suppressBannerCheck_,
                             activateOnStartCheck_, minimizeOnStartCheck_}) {
        switchLayout->addWidget(check);
    }

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(directories);
    layout->addLayout(numbers);
    layout->addWidget(switches);
    layout->addStretch(1);

    connect(hostFileBrowse, &QPushButton::clicked, this, &GeneralSettingsDialog::HostFileBrowse);
    connect(spoolAreaBrowse, &QPushButton::clicked, this, &GeneralSettingsDialog::SpoolAreaBrowse);
    return page;
}

void GeneralSettingsDialog::Load() {
    const GeneralSettings settings = spooler_.Settings();
    hostFileEdit_->setText(QString::fromStdString(settings.hostFile));
    spoolAreaEdit_->setText(QString::fromStdString(settings.spoolBaseDirectory));
    clearSpoolCheck_->setChecked(settings.clearSpoolOnStart);
    localTimeoutSpin_->Load(settings.localCmdTimeout);
    remoteTimeoutSpin_->Load(settings.remoteCmdTimeout);
    portSpin_->Load(settings.lpdServerPort);
    testPrintManagerCheck_->setChecked(settings.testPrintManager);
    statusControlCheck_->setChecked(settings.enablePrintStatusControl);
    suppressBannerCheck_->setChecked(settings.suppressBanner);
    activateOnStartCheck_->setChecked(settings.activateLPDOnStart);
    minimizeOnStartCheck_->setChecked(settings.minimizeOnStartup);
    const std::shared_ptr<const AccessRules> access = spooler_.Access();
    shownAccess_ = access ? *access : AccessRules();
    accessPage_->Load(shownAccess_);
    shownLogMaxMB_ = ReadLoggingSettings(spooler_.Profile()).logMaxMB;
    limitsPage_->Load(settings, shownLogMaxMB_);
}

// Every tab is checked before anything is put in force, so nothing fails half-way through.
bool GeneralSettingsDialog::Save() {
    const GeneralSettings before = spooler_.Settings();
    GeneralSettings settings = before;
    int logMaxMB = shownLogMaxMB_;
    QString problem;
    std::optional<AccessRules> access = accessPage_->Rules(&problem);
    if (!access) {
        tabs_->setCurrentWidget(accessPage_);
    } else if (!limitsPage_->Store(settings, logMaxMB, &problem)) {
        tabs_->setCurrentWidget(limitsPage_);
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), problem);
        return false;
    }
    settings.clearSpoolOnStart = clearSpoolCheck_->isChecked();
    settings.testPrintManager = testPrintManagerCheck_->isChecked();
    settings.enablePrintStatusControl = statusControlCheck_->isChecked();
    settings.suppressBanner = suppressBannerCheck_->isChecked();
    settings.activateLPDOnStart = activateOnStartCheck_->isChecked();
    settings.minimizeOnStartup = minimizeOnStartCheck_->isChecked();
    settings.localCmdTimeout = localTimeoutSpin_->value();
    settings.remoteCmdTimeout = remoteTimeoutSpin_->value();
    settings.hostFile = hostFileEdit_->text().toStdString();
    settings.spoolBaseDirectory = spoolAreaEdit_->text().toStdString();
    settings.lpdServerPort = static_cast<int16_t>(portSpin_->value());
    spooler_.SetSettings(settings);
    spooler_.SaveSettings();
    SaveChangedExtensionKeys(spooler_.Profile(), before, spooler_.Settings());
    if (accessPage_->Changed(shownAccess_)) {
        spooler_.SetAccess(*access);
        (void)access->Write(spooler_.Profile());
    }
    if (logMaxMB != shownLogMaxMB_) {
        const LoggingSettings was = ReadLoggingSettings(spooler_.Profile());
        LoggingSettings now = was;
        now.logMaxMB = logMaxMB;
        SaveChangedLoggingSettings(spooler_.Profile(), was, now);
        ReloadLogSettings(spooler_.Profile().Path());
    }
    return true;
}

void GeneralSettingsDialog::HostFileBrowse() {
    const QString path =
        FileChooser::SaveFile(this, "Select/Enter The IP Address Host File", hostFileEdit_->text());
    if (!path.isEmpty()) {
        hostFileEdit_->setText(path);
    }
}

// The chooser starts at the current directory, not at the field's directory.
void GeneralSettingsDialog::SpoolAreaBrowse() {
    const QString path = FileChooser::Directory(this, "Select the Spool Area");
    if (!path.isEmpty()) {
        spoolAreaEdit_->setText(path);
    }
}

}  // namespace pg
