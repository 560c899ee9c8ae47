#include "ui/RemoteHostPage.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include "ui/QueueInputRules.h"
#include "ui/UpDownSpinBox.h"

namespace pg {

namespace {

// A field's caption, the field, and the example beneath it; buddy takes the caption's mnemonic.
void AddField(QGridLayout* grid, int row, const QString& caption, QWidget* field, QWidget* buddy,
              const QString& example, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    grid->addWidget(label, row * 2, 0);
    grid->addWidget(field, row * 2, 1);
    grid->addWidget(new QLabel(example, parent), row * 2 + 1, 1);
}

}  // namespace

RemoteHostPage::RemoteHostPage(QWidget* parent) : QWizardPage(parent) {
    auto* intro = new QLabel(
        "Enter the details about the Remote Line Printer Daemon (Queue Name and Host address).  "
        "The Remote Queue Name must match the defined queue name provided on the remote LPD "
        "end.",
        this);
    intro->setWordWrap(true);

    auto* group = new QGroupBox("Remote Line Printer Daemon Settings:  ", this);
    remoteQueueEdit_ = new QLineEdit(group);
    remoteQueueEdit_->setObjectName("remoteQueueEdit");
    remoteHostEdit_ = new QLineEdit(group);
    remoteHostEdit_->setObjectName("remoteHostEdit");
    remotePortSpin_ = new UpDownSpinBox(0, 32700, 515, group);
    remotePortSpin_->setObjectName("remotePortSpin");
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(1);
    AddField(grid, 0, "Remote &Queue Name:", remoteQueueEdit_, remoteQueueEdit_, "eg. MyRemoteQ1",
             group);
    AddField(grid, 1, "Remote &Host Address:", remoteHostEdit_, remoteHostEdit_, "eg. 10.0.0.1",
             group);
    // The port field is as narrow as a port needs.
    auto* portField = new QWidget(group);
    auto* portRow = new QHBoxLayout(portField);
    portRow->setContentsMargins(0, 0, 0, 0);
    portRow->addWidget(remotePortSpin_);
    portRow->addStretch(1);
    AddField(grid, 2, "Remote Host &Port:", portField, remotePortSpin_, "eg. 515", group);

    registerField(kRemoteQueueField, remoteQueueEdit_);
    registerField(kRemoteHostField, remoteHostEdit_);
    registerField(kRemotePortField, remotePortSpin_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addSpacing(6);
    layout->addWidget(group);
    layout->addStretch(1);
}

bool RemoteHostPage::validatePage() {
    QString problem = RemoteQueueNameProblem(remoteQueueEdit_->text());
    QLineEdit* field = remoteQueueEdit_;
    if (problem.isEmpty()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);  // the name is looked up
        problem = RemoteHostProblem(remoteHostEdit_->text());
        QApplication::restoreOverrideCursor();
        field = remoteHostEdit_;
    }
    if (!problem.isEmpty()) {
        QMessageBox::information(this, "Pressgate", problem);
        field->setFocus();
        return false;
    }
    return true;
}

}  // namespace pg
