#include "ui/TPrnWiz2.h"

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
#include <memory>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/HelpViewer.h"
#include "ui/TPrnWiz1.h"
#include "ui/UpDownSpinBox.h"
#include "ui/WizardPicture.h"

namespace pg {

namespace {

// A field's caption, the field, and the example beneath it; buddy takes the caption's mnemonic.
void AddField(QGridLayout* grid, int row, const QString& caption, QWidget* field, QWidget* buddy,
              const QString& example, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    auto* hint = new QLabel(example, parent);
    grid->addWidget(label, row * 2, 0);
    grid->addWidget(field, row * 2, 1);
    grid->addWidget(hint, row * 2 + 1, 1);
}

}  // namespace

TPrnWiz2::TPrnWiz2(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {
    setWindowTitle("Add Printer: Remote Host Settings");
    setFixedSize(530, 325);
    setModal(false);

    auto* intro = new QLabel(
        "Enter the details about the Remote Line Printer Daemon (Queue Name and Host address).  "
        "The Remote Queue Name must match the defined queue name provided on the remote LPD "
        "end.",
        this);
    intro->setWordWrap(true);

    remoteQueueEdit_ = new QLineEdit(this);
    remoteQueueEdit_->setObjectName("remoteQueueEdit");
    remoteHostEdit_ = new QLineEdit(this);
    remoteHostEdit_->setObjectName("remoteHostEdit");
    remotePortSpin_ = new UpDownSpinBox(0, 32700, 515, this);
    remotePortSpin_->setObjectName("remotePortSpin");

    auto* group = new QGroupBox("Remote Line Printer Daemon Settings:  ", this);
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(1);
    AddField(grid, 0, "Remote Queue Name:", remoteQueueEdit_, remoteQueueEdit_, "eg. MyRemoteQ1",
             group);
    AddField(grid, 1, "Remote Host Address:", remoteHostEdit_, remoteHostEdit_, "eg. 10.0.0.1",
             group);
    // The port field is as narrow as a port needs.
    auto* portField = new QWidget(group);
    auto* portRow = new QHBoxLayout(portField);
    portRow->setContentsMargins(0, 0, 0, 0);
    portRow->addWidget(remotePortSpin_);
    portRow->addStretch(1);
    AddField(grid, 2, "Remote Host Port:", portField, remotePortSpin_, "eg. 515", group);

    auto* fields = new QVBoxLayout;
    fields->addWidget(intro);
    fields->addSpacing(6);
    fields->addWidget(group);
    fields->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(MakeWizardPicture(this), 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(fields, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* backButton = new QPushButton("< &Back", this);
    backButton->setObjectName("backButton");
    backButton->setAutoDefault(false);
    auto* finishButton = new QPushButton("&Finish", this);
    finishButton->setObjectName("finishButton");
    finishButton->setDefault(true);
    auto* cancelButton = new QPushButton("Cancel", this);
    cancelButton->setObjectName("cancelButton");
    cancelButton->setAutoDefault(false);
    auto* helpButton = new QPushButton("Help", this);
    helpButton->setObjectName("helpButton");
    helpButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(backButton);
    buttons->addWidget(finishButton);
    buttons->addSpacing(10);
    buttons->addWidget(cancelButton);
    buttons->addWidget(helpButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addLayout(top, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(backButton, &QPushButton::clicked, this, &TPrnWiz2::BackButtonClick);
    connect(finishButton, &QPushButton::clicked, this, &TPrnWiz2::FinishButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &TPrnWiz2::reject);
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelp(this, kHelpWizardPage2); });
}

void TPrnWiz2::ShowPage() {
    show();
    raise();
    activateWindow();
}

void TPrnWiz2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        remoteQueueEdit_->clear();
        remoteHostEdit_->clear();
        remoteQueueEdit_->setFocus();
    }
}

// Page 1 runs its show procedure again, so the queue name typed there is gone.
void TPrnWiz2::BackButtonClick() {
    hide();
    if (page1_ != nullptr) {
        page1_->ShowWizard();
    }
}

// The remote fields are taken as they are: an empty host makes the spooler write the entry in
// the local form, and the queue then reads back as local at the next start.
void TPrnWiz2::FinishButtonClick() {
    const QString name = page1_ != nullptr ? page1_->QueueName() : QString();
    auto queue = std::make_shared<PrintQueue>(name.toStdString());
    QueueTarget target = queue->Target();
    target.destination = remoteQueueEdit_->text().toStdString();
    target.remoteHost = remoteHostEdit_->text().toStdString();
    // The queue keeps its port in 16 bits.
    target.remotePort = static_cast<uint16_t>(remotePortSpin_->value());
    target.isRemote = true;
    queue->SetTarget(target);
    queue->SetStatusText(std::string());
    TPrnWiz1::AddQueue(spooler_, mainWindow_, queue);
    accept();
}

}  // namespace pg
