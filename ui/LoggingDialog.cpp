#include "ui/LoggingDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

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
// A default no value of the file can hold, to tell an absent key from any value.
constexpr const char* kAbsent = "\x7f";

// The log facility's reading of [Logging]: the value of an absent key, and yes as a value
// beginning with Y or y.
struct DaemonDefault {
    const char* key;
    const char* absent;
};
constexpr DaemonDefault kDaemonDefaults[] = {
    {"LogLevel", "1"},
    {"LogToScreen", "Y"},
    {"SystemTrace", "system.log"},
    {"SystemDebugEnable", "N"},
    {"LocalPrintTrace", "local.log"},
    {"LocalTraceEnable", "N"},
    {"RemotePrintTrace", "remote.log"},
    {"RemoteTraceEnable", "N"},
};

const char* AbsentValue(const char* key) {
    for (const DaemonDefault& entry : kDaemonDefaults) {
        if (std::string(entry.key) == key) {
            return entry.absent;
        }
    }
    return "";
}

bool ReadsAsYes(const std::string& value) {
    return !value.empty() && (value[0] == 'Y' || value[0] == 'y');
}

}  // namespace

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

    fields_ = {
        {"LogLevel", levelSpin_, {}},
        {"LogToScreen", logToScreenCheck_, {}},
        {"SystemTrace", systemTraceEdit_, {}},
        {"SystemDebugEnable", logToFileCheck_, {}},
        {"LocalPrintTrace", localTraceEdit_, {}},
        {"LocalTraceEnable", localCheck_, {}},
        {"RemotePrintTrace", remoteTraceEdit_, {}},
        {"RemoteTraceEnable", remoteCheck_, {}},
    };
    Load();
}

// What a control shows, in the form the file takes: "Y"/"N", the level in decimal, the text.
QString LoggingDialog::ControlText(const QWidget* control) {
    if (const auto* check = qobject_cast<const QCheckBox*>(control)) {
        return check->isChecked() ? "Y" : "N";
    }
    if (const auto* spin = qobject_cast<const QSpinBox*>(control)) {
        return QString::number(spin->value());
    }
    return qobject_cast<const QLineEdit*>(control)->text();
}

void LoggingDialog::Load() {
    const ProfileFile& profile = spooler_.Profile();
    for (Field& field : fields_) {
        std::string value = profile.GetString(kSection, field.key, kAbsent);
        if (value == kAbsent) {
            value = AbsentValue(field.key);
        }
        if (auto* check = qobject_cast<QCheckBox*>(field.control)) {
            check->setChecked(ReadsAsYes(value));
        } else if (auto* spin = qobject_cast<UpDownSpinBox*>(field.control)) {
            spin->Load(profile.GetInt(kSection, field.key, std::stoi(AbsentValue(field.key))));
        } else {
            qobject_cast<QLineEdit*>(field.control)->setText(QString::fromStdString(value));
        }
        field.shown = ControlText(field.control);
    }
}

// Only what the operator changed is written; the switches of what changed act at once.
void LoggingDialog::Save() {
    const ProfileFile& profile = spooler_.Profile();
    bool restart = false;
    for (const Field& field : fields_) {
        const QString now = ControlText(field.control);
        if (now == field.shown) {
            continue;
        }
        profile.WriteString(kSection, field.key, now.toStdString());
        const bool on = now == "Y";
        if (field.control == logToScreenCheck_) {
            LogFile::SetScreenEnabled(on);
        } else if (field.control == logToFileCheck_) {
            systemLog.SetEnabled(on);
        } else if (field.control == localCheck_) {
            localPrintLog.SetEnabled(on);
        } else if (field.control == remoteCheck_) {
            remotePrintLog.SetEnabled(on);
        }
        // A file that was not opened at start opens at the next one; so do new names and levels.
        restart = restart || field.control != logToScreenCheck_;
    }
    if (restart) {
        QMessageBox::information(
            this, "Pressgate",
            "Please restart the Pressgate in order to make the change effective.");
    }
}

void LoggingDialog::Browse(QLineEdit* field, const QString& title) {
    const QString path = FileChooser::SaveFile(this, title, field->text());
    if (!path.isEmpty()) {
        field->setText(path);
    }
}

}  // namespace pg
