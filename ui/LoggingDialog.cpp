#include "ui/LoggingDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

#include "config/LoggingSettings.h"
#include "engine/LPDSpooler.h"
#include "log/LogFile.h"
#include "ui/DialogButtons.h"
#include "ui/FileChooser.h"
#include "ui/HelpViewer.h"
#include "ui/UpDownSpinBox.h"

namespace pg {

LoggingDialog::LoggingDialog(LPDSpooler& spooler, QWidget* parent)
    : QDialog(parent), spooler_(spooler) {
    setWindowTitle("Logging Options");

    auto* traces = new QGroupBox("Communication Traces:  ", this);
    localCheck_ = new QCheckBox("&Local", traces);
    localCheck_->setObjectName("localCheck");
    localTraceEdit_ = new QLineEdit(traces);
    localTraceEdit_->setObjectName("localTraceEdit");
    auto* localBrowse = MakeButton("&Browse...", "localBrowse", traces);
    remoteCheck_ = new QCheckBox("&Remote", traces);
    remoteCheck_->setObjectName("remoteCheck");
    remoteTraceEdit_ = new QLineEdit(traces);
    remoteTraceEdit_->setObjectName("remoteTraceEdit");
    auto* remoteBrowse = MakeButton("Br&owse...", "remoteBrowse", traces);
    auto* traceGrid = new QGridLayout(traces);
    traceGrid->addWidget(localCheck_, 0, 0);
    traceGrid->addWidget(localTraceEdit_, 0, 1);
    traceGrid->addWidget(localBrowse, 0, 2);
    traceGrid->addWidget(remoteCheck_, 1, 0);
    traceGrid->addWidget(remoteTraceEdit_, 1, 1);
    traceGrid->addWidget(remoteBrowse, 1, 2);
    traceGrid->setColumnStretch(1, 1);

    auto* system = new QGroupBox("System Trace", this);
    logToFileCheck_ = new QCheckBox("Log to &file", system);
    logToFileCheck_->setObjectName("logToFileCheck");
    systemTraceEdit_ = new QLineEdit(system);
    systemTraceEdit_->setObjectName("systemTraceEdit");
    auto* systemBrowse = MakeButton("Bro&wse...", "systemBrowse", system);
    logToScreenCheck_ = new QCheckBox("Log to &screen", system);
    logToScreenCheck_->setObjectName("logToScreenCheck");
    levelSpin_ = new UpDownSpinBox(0, 120, 1, system);
    levelSpin_->setObjectName("levelSpin");
    auto* levelLabel = new QLabel("&Debug level", system);
    levelLabel->setBuddy(levelSpin_);
    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(levelLabel);
    levelRow->addWidget(levelSpin_);
    levelRow->addStretch(1);
    auto* systemGrid = new QGridLayout(system);
    systemGrid->addWidget(logToFileCheck_, 0, 0);
    systemGrid->addWidget(systemTraceEdit_, 0, 1);
    systemGrid->addWidget(systemBrowse, 0, 2);
    systemGrid->addWidget(logToScreenCheck_, 1, 0);
    systemGrid->addLayout(levelRow, 2, 0, 1, 2);
    systemGrid->setColumnStretch(1, 1);

    auto* okButton = MakeButton("OK", "okButton", this);
    okButton->setDefault(true);
    auto* cancelButton = MakeButton("Cancel", "cancelButton", this);
    auto* helpButton = MakeButton("Help", "helpButton", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(traces);
    layout->addWidget(system);
    layout->addStretch(1);
    layout->addLayout(ButtonRow({okButton, cancelButton, helpButton}));

    connect(localBrowse, &QPushButton::clicked, this,
            [this] { Browse(localTraceEdit_, "Select/Enter Local Trace Filename"); });
    connect(remoteBrowse, &QPushButton::clicked, this,
            [this] { Browse(remoteTraceEdit_, "Select/Enter Remote Trace Filename"); });
    connect(systemBrowse, &QPushButton::clicked, this,
            [this] { Browse(systemTraceEdit_, "Select/Enter System Trace Filename"); });
    connect(okButton, &QPushButton::clicked, this, [this] {
        Save();
        accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelp(this, kHelpLogging); });

    Load();
}

// The keys as the daemon reads them: an absent key shows the value the daemon uses.
void LoggingDialog::Load() {
    shown_ = ReadLoggingSettings(spooler_.Profile());
    levelSpin_->Load(shown_.logLevel);
    logToScreenCheck_->setChecked(shown_.logToScreen);
    systemTraceEdit_->setText(QString::fromStdString(shown_.systemTrace));
    logToFileCheck_->setChecked(shown_.systemDebugEnable);
    localTraceEdit_->setText(QString::fromStdString(shown_.localPrintTrace));
    localCheck_->setChecked(shown_.localTraceEnable);
    remoteTraceEdit_->setText(QString::fromStdString(shown_.remotePrintTrace));
    remoteCheck_->setChecked(shown_.remoteTraceEnable);
}

// Only what the operator changed is written, and all of it is in force at once.
void LoggingDialog::Save() {
    LoggingSettings edited = shown_;
    edited.logLevel = levelSpin_->value();
    edited.logToScreen = logToScreenCheck_->isChecked();
    edited.systemTrace = systemTraceEdit_->text().toStdString();
    edited.systemDebugEnable = logToFileCheck_->isChecked();
    edited.localPrintTrace = localTraceEdit_->text().toStdString();
    edited.localTraceEnable = localCheck_->isChecked();
    edited.remotePrintTrace = remoteTraceEdit_->text().toStdString();
    edited.remoteTraceEnable = remoteCheck_->isChecked();
    if (edited == shown_) {
        return;
    }
    SaveChangedLoggingSettings(spooler_.Profile(), shown_, edited);
    // In force at once: the screen switch here (it needs no open log), the rest on the logs
    // the session opened.
    LogFile::SetScreenEnabled(edited.logToScreen);
    ReloadLogSettings(spooler_.Profile().Path());
}

void LoggingDialog::Browse(QLineEdit* field, const QString& title) {
    const QString path = FileChooser::SaveFile(this, title, field->text());
    if (!path.isEmpty()) {
        field->setText(path);
    }
}

}  // namespace pg
