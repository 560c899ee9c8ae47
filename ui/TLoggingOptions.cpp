#include "ui/TLoggingOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <string>

#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "engine/LPDSpooler.h"
#include "log/LogFile.h"
#include "ui/DialogButtons.h"
#include "ui/FileChooser.h"
#include "ui/HelpViewer.h"
#include "ui/UpDownSpinBox.h"

namespace pg {

namespace {

constexpr const char* kSection = "Logging";

// The dialog's own defaults for a missing key; they differ from the log facility's (level 1,
// screen on, "system.log"), so an absent [Logging] shows the way the file would be written.
constexpr int kDefaultLevel = 0;
constexpr const char* kDefaultNo = "N";
constexpr const char* kDefaultLocalTrace = "local.log";
constexpr const char* kDefaultRemoteTrace = "remote.log";

const char* YesNo(const QCheckBox* check) {
    return check->isChecked() ? "Y" : "N";
}

}  // namespace

TLoggingOptions::TLoggingOptions(LPDSpooler& spooler, QWidget* parent)
    : QDialog(parent), spooler_(spooler) {
    setWindowTitle("Logging Options");
    setFixedSize(475, 323);

    auto* traces = new QGroupBox("Communication Traces:  ", this);
    localCheck_ = new QCheckBox("Local", traces);
    localCheck_->setObjectName("localCheck");
    localTraceEdit_ = new QLineEdit(traces);
    localTraceEdit_->setObjectName("localTraceEdit");
    auto* localBrowse = MakeButton("Browse", "localBrowse", traces);
    remoteCheck_ = new QCheckBox("Remote", traces);
    remoteCheck_->setObjectName("remoteCheck");
    remoteTraceEdit_ = new QLineEdit(traces);
    remoteTraceEdit_->setObjectName("remoteTraceEdit");
    auto* remoteBrowse = MakeButton("Browse", "remoteBrowse", traces);
    auto* traceGrid = new QGridLayout(traces);
    traceGrid->addWidget(localCheck_, 0, 0);
    traceGrid->addWidget(localTraceEdit_, 0, 1);
    traceGrid->addWidget(localBrowse, 0, 2);
    traceGrid->addWidget(remoteCheck_, 1, 0);
    traceGrid->addWidget(remoteTraceEdit_, 1, 1);
    traceGrid->addWidget(remoteBrowse, 1, 2);
    traceGrid->setColumnStretch(1, 1);

    auto* system = new QGroupBox("System Trace", this);
    logToFileCheck_ = new QCheckBox("Log to file", system);
    logToFileCheck_->setObjectName("logToFileCheck");
    systemTraceEdit_ = new QLineEdit(system);
    systemTraceEdit_->setObjectName("systemTraceEdit");
    auto* systemBrowse = MakeButton("Browse", "systemBrowse", system);
    logToScreenCheck_ = new QCheckBox("Log to screen", system);
    logToScreenCheck_->setObjectName("logToScreenCheck");
    levelSpin_ = new UpDownSpinBox(0, 120, 1, system);
    levelSpin_->setObjectName("levelSpin");
    levelSpin_->setMinimumWidth(60);
    auto* levelLabel = new QLabel("Debug level", system);
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
    auto* buttons = ButtonRow({okButton, cancelButton, helpButton});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(traces);
    layout->addWidget(system);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(localBrowse, &QPushButton::clicked, this,
            [this] { Browse(localTraceEdit_, "Select/Enter Local Trace Filename"); });
    connect(remoteBrowse, &QPushButton::clicked, this,
            [this] { Browse(remoteTraceEdit_, "Select/Enter Remote Trace Filename"); });
    connect(systemBrowse, &QPushButton::clicked, this,
            [this] { Browse(systemTraceEdit_, "Select/Enter System Trace Filename"); });
    connect(okButton, &QPushButton::clicked, this, &TLoggingOptions::OkButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &TLoggingOptions::reject);
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelp(this, kHelpLogging); });
}

void TLoggingOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

// Read straight from the file each time, so the dialog shows what the next start will use.
void TLoggingOptions::FormShow() {
    const ProfileFile& profile = spooler_.Profile();
    const auto text = [&](const char* key, const char* defaultText) {
        return profile.GetString(kSection, key, defaultText);
    };
    levelSpin_->Load(profile.GetInt(kSection, "LogLevel", kDefaultLevel));
    logToScreenCheck_->setChecked(IsYes(text("LogToScreen", kDefaultNo)));
    systemTraceEdit_->setText(QString::fromStdString(text("SystemTrace", "")));
    logToFileCheck_->setChecked(IsYes(text("SystemDebugEnable", kDefaultNo)));
    localTraceEdit_->setText(QString::fromStdString(text("LocalPrintTrace", kDefaultLocalTrace)));
    localCheck_->setChecked(IsYes(text("LocalTraceEnable", kDefaultNo)));
    remoteTraceEdit_->setText(
        QString::fromStdString(text("RemotePrintTrace", kDefaultRemoteTrace)));
    remoteCheck_->setChecked(IsYes(text("RemoteTraceEnable", kDefaultNo)));
}

// The switches act at once; the level and the file names are read again at the next start.
void TLoggingOptions::OkButtonClick() {
    const ProfileFile& profile = spooler_.Profile();
    const auto write = [&](const char* key, const std::string& value) {
        profile.WriteString(kSection, key, value);
    };
    // The level field only ever holds a number, so that number is what was typed.
    write("LogLevel", std::to_string(levelSpin_->value()));
    write("LogToScreen", YesNo(logToScreenCheck_));
    LogFile::SetScreenEnabled(logToScreenCheck_->isChecked());
    systemLog.SetEnabled(logToFileCheck_->isChecked());
    localPrintLog.SetEnabled(localCheck_->isChecked());
    remotePrintLog.SetEnabled(remoteCheck_->isChecked());
    write("SystemTrace", systemTraceEdit_->text().toStdString());
    write("SystemDebugEnable", YesNo(logToFileCheck_));
    write("LocalPrintTrace", localTraceEdit_->text().toStdString());
    write("LocalTraceEnable", YesNo(localCheck_));
    write("RemotePrintTrace", remoteTraceEdit_->text().toStdString());
    write("RemoteTraceEnable", YesNo(remoteCheck_));
    QMessageBox::information(this, "Pressgate",
                             "Please restart the Pressgate in order to make the change effective.");
    accept();
}

void TLoggingOptions::Browse(QLineEdit* field, const QString& title) {
    const QString path = FileChooser::SaveFile(this, title, field->text());
    if (!path.isEmpty()) {
        field->setText(path);
    }
}

}  // namespace pg
