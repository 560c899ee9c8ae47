#include "ui/TGeneralSettings.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <cstdint>

#include "config/GeneralSettings.h"
#include "engine/LPDSpooler.h"
#include "ui/DialogButtons.h"
#include "ui/FileChooser.h"
#include "ui/HelpViewer.h"
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
    spin->setMinimumWidth(70);
    return spin;
}

}  // namespace

TGeneralSettings::TGeneralSettings(LPDSpooler& spooler, QWidget* parent)
    : QDialog(parent), spooler_(spooler) {
    setWindowTitle("General Settings");
    setFixedSize(372, 437);

    // Directories.
    auto* directories = new QGroupBox("Directory Settings:  (Path only)", this);
    hostFileEdit_ = new QLineEdit(directories);
    hostFileEdit_->setObjectName("hostFileEdit");
    spoolAreaEdit_ = new QLineEdit(directories);
    spoolAreaEdit_->setObjectName("spoolAreaEdit");
    auto* hostFileBrowse = MakeButton("Browse", "hostFileBrowse", directories);
    auto* spoolAreaBrowse = MakeButton("Browse", "spoolAreaBrowse", directories);
    clearSpoolCheck_ =
        MakeCheck("Clear printer directories on startup", "clearSpoolCheck", directories);
    auto* hostFileLabel = new QLabel("Host File:", directories);
    hostFileLabel->setBuddy(hostFileEdit_);
    auto* spoolAreaLabel = new QLabel("Spool Area:", directories);
    spoolAreaLabel->setBuddy(spoolAreaEdit_);
    auto* directoryGrid = new QGridLayout(directories);
    directoryGrid->addWidget(hostFileLabel, 0, 0, 1, 2);
    directoryGrid->addWidget(hostFileEdit_, 1, 0);
    directoryGrid->addWidget(hostFileBrowse, 1, 1);
    directoryGrid->addWidget(spoolAreaLabel, 2, 0, 1, 2);
    directoryGrid->addWidget(spoolAreaEdit_, 3, 0);
    directoryGrid->addWidget(spoolAreaBrowse, 3, 1);
    directoryGrid->addWidget(clearSpoolCheck_, 4, 0, 1, 2);

    // Time-outs and port side by side.
    auto* timeouts = new QGroupBox("Command Timeouts (seconds) ", this);
    localTimeoutSpin_ = MakeSpin(0, 120, 20, "localTimeoutSpin", timeouts);
    remoteTimeoutSpin_ = MakeSpin(0, 120, 20, "remoteTimeoutSpin", timeouts);
    auto* timeoutGrid = new QGridLayout(timeouts);
    auto* localLabel = new QLabel("Local:", timeouts);
    localLabel->setBuddy(localTimeoutSpin_);
    auto* remoteLabel = new QLabel("Remote:", timeouts);
    remoteLabel->setBuddy(remoteTimeoutSpin_);
    timeoutGrid->addWidget(localLabel, 0, 0);
    timeoutGrid->addWidget(localTimeoutSpin_, 0, 1);
    timeoutGrid->addWidget(remoteLabel, 1, 0);
    timeoutGrid->addWidget(remoteTimeoutSpin_, 1, 1);

    auto* listening = new QGroupBox("LPD Listening on ", this);
    portSpin_ = MakeSpin(0, 32000, 515, "portSpin", listening);
    auto* portLabel = new QLabel("LPD Port:", listening);
    portLabel->setBuddy(portSpin_);
    auto* portGrid = new QGridLayout(listening);
    portGrid->addWidget(portLabel, 0, 0);
    portGrid->addWidget(portSpin_, 0, 1);
    portGrid->setRowStretch(1, 1);

    auto* numbers = new QHBoxLayout;
    numbers->addWidget(timeouts);
    numbers->addWidget(listening);

    // The start-up and protocol switches.
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    testPrintManagerCheck_ = MakeCheck("Test Print manager before accepting print request",
                                       "testPrintManagerCheck", panel);
    statusControlCheck_ =
        MakeCheck("Enable remote print status controls", "statusControlCheck", panel);
    suppressBannerCheck_ = MakeCheck("Suppress banner", "suppressBannerCheck", panel);
    activateOnStartCheck_ = MakeCheck("Activate LPD on startup", "activateOnStartCheck", panel);
    minimizeOnStartCheck_ = MakeCheck("Minimize LPD on startup", "minimizeOnStartCheck", panel);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setSpacing(2);
    for (QCheckBox* check : {testPrintManagerCheck_, statusControlCheck_, suppressBannerCheck_,
                             activateOnStartCheck_, minimizeOnStartCheck_}) {
        panelLayout->addWidget(check);
    }

    auto* okButton = MakeButton("OK", "okButton", this);
    okButton->setDefault(true);
    auto* cancelButton = MakeButton("Cancel", "cancelButton", this);
    auto* helpButton = MakeButton("Help", "helpButton", this);
    auto* buttons = ButtonRow({okButton, cancelButton, helpButton});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(directories);
    layout->addLayout(numbers);
    layout->addWidget(panel);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(hostFileBrowse, &QPushButton::clicked, this, &TGeneralSettings::HostFileBrowseClick);
    connect(spoolAreaBrowse, &QPushButton::clicked, this, &TGeneralSettings::SpoolAreaBrowseClick);
    connect(okButton, &QPushButton::clicked, this, &TGeneralSettings::OkButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &TGeneralSettings::reject);
    connect(helpButton, &QPushButton::clicked, this,
            [this] { ShowHelp(this, kHelpGeneralSettings); });
}

void TGeneralSettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

// Every showing starts from the spooler's settings, so a cancelled edit leaves no trace.
void TGeneralSettings::FormShow() {
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
}

// The number fields only ever hold integers, so unlike a free text field there is no
// conversion that can fail half-way through, leaving some fields stored and others not.
// The values go in the usual order: switches, time-outs, paths, port.
void TGeneralSettings::OkButtonClick() {
    GeneralSettings settings = spooler_.Settings();
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
    accept();
}

void TGeneralSettings::HostFileBrowseClick() {
    const QString path =
        FileChooser::SaveFile(this, "Select/Enter The IP Address Host File", hostFileEdit_->text());
    if (!path.isEmpty()) {
        hostFileEdit_->setText(path);
    }
}

// The chooser starts at the current directory, not at the field's directory.
void TGeneralSettings::SpoolAreaBrowseClick() {
    const QString path = FileChooser::Directory(this, "Select the Spool Area");
    if (!path.isEmpty()) {
        spoolAreaEdit_->setText(path);
    }
}

}  // namespace pg
