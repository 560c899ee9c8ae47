#include "ui/TPrnWiz1.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/HelpViewer.h"
#include "ui/PrinterChoices.h"
#include "ui/TPressgate.h"
#include "ui/TPrnWiz2.h"
#include "ui/WizardPicture.h"

namespace pg {

TPrnWiz1::TPrnWiz1(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {
    setWindowTitle("Add Printer: Create LPD Queue");
    setFixedSize(530, 325);
    setModal(false);

    auto* intro = new QLabel(
        "This wizard helps you to share a Windows printer using the LPD protocol.  Please select "
        "a Windows local printer that you wish to share using the LPD protocol.  You can also "
        "define a remote printer, and have print jobs redirected to remote LPD's.",
        this);
    intro->setWordWrap(true);
    auto* nameHint = new QLabel(
        "Then enter a Printer Queue Name to associate with the selected windows printer.", this);
    nameHint->setWordWrap(true);

    localRadio_ = new QRadioButton("Local Printer", this);
    localRadio_->setObjectName("localRadio");
    localRadio_->setChecked(true);
    printerBox_ = new QComboBox(this);
    printerBox_->setObjectName("printerBox");
    printerBox_->setEditable(true);
    printerBox_->setInsertPolicy(QComboBox::NoInsert);
    remoteRadio_ = new QRadioButton("Remote Printer", this);
    remoteRadio_->setObjectName("remoteRadio");
    remoteBox_ = new QComboBox(this);
    remoteBox_->setObjectName("remoteBox");
    remoteBox_->setEditable(true);
    remoteBox_->setInsertPolicy(QComboBox::NoInsert);
    auto* nameLabel = new QLabel("Select Printer Queue Name:", this);
    queueNameEdit_ = new QLineEdit(this);
    queueNameEdit_->setObjectName("queueNameEdit");
    nameLabel->setBuddy(queueNameEdit_);

    auto* fields = new QVBoxLayout;
    fields->setSpacing(4);
    fields->addWidget(intro);
    fields->addSpacing(4);
    fields->addWidget(nameHint);
    fields->addSpacing(4);
    fields->addWidget(localRadio_);
    fields->addWidget(printerBox_);
    fields->addWidget(remoteRadio_);
    fields->addWidget(remoteBox_);
    fields->addSpacing(4);
    fields->addWidget(nameLabel);
    fields->addWidget(queueNameEdit_);
    fields->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(MakeWizardPicture(this), 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(fields, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    backButton_ = new QPushButton("< &Back", this);
    backButton_->setObjectName("backButton");
    backButton_->setEnabled(false);  // the first page has nothing to go back to
    nextButton_ = new QPushButton("&Finish", this);
    nextButton_->setObjectName("nextButton");
    auto* cancelButton = new QPushButton("Cancel", this);
    cancelButton->setObjectName("cancelButton");
    auto* helpButton = new QPushButton("Help", this);
    helpButton->setObjectName("helpButton");
    // No default button on this page: Return in the name field does not add a queue.
    for (QPushButton* button : {backButton_, nextButton_, cancelButton, helpButton}) {
        button->setAutoDefault(false);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(backButton_);
    buttons->addWidget(nextButton_);
    buttons->addSpacing(10);
    buttons->addWidget(cancelButton);
    buttons->addWidget(helpButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addLayout(top, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(localRadio_, &QRadioButton::clicked, this, &TPrnWiz1::RadioButtonClick);
    connect(remoteRadio_, &QRadioButton::clicked, this, &TPrnWiz1::RadioButtonClick);
    connect(nextButton_, &QPushButton::clicked, this, &TPrnWiz1::NextButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &TPrnWiz1::reject);
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelp(this, kHelpWizardPage1); });
}

void TPrnWiz1::ShowWizard() {
    show();
    raise();
    activateWindow();
}

QString TPrnWiz1::QueueName() const {
    return queueNameEdit_->text();
}

void TPrnWiz1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

// The page's show procedure: every run of the wizard starts from the print layer's current
// printers and an empty queue name.
void TPrnWiz1::FormShow() {
    queueNameEdit_->clear();
    PrinterChoices::Fill(*printerBox_, spooler_);
    remoteBox_->clear();
    remoteBox_->addItem("Remote LPD");
    remoteBox_->setCurrentIndex(0);
    if (ApplyRadioRule()) {
        // The box comes once the page is on the screen, not in the middle of showing it.
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) {
                ShowNoPrinters();
            }
        });
    }
}

bool TPrnWiz1::ApplyRadioRule() {
    bool switched = false;
    if (localRadio_->isChecked() && printerBox_->count() == 0) {
        remoteRadio_->setChecked(true);
        switched = true;
    }
    const bool local = localRadio_->isChecked();
    printerBox_->setEnabled(local);
    remoteBox_->setEnabled(!local);
    nextButton_->setText(local ? "&Finish" : "&Next >");
    QFont font = nextButton_->font();
    font.setBold(local);
    nextButton_->setFont(font);
    return switched;
}

void TPrnWiz1::RadioButtonClick() {
    if (ApplyRadioRule()) {
        ShowNoPrinters();
    }
}

void TPrnWiz1::ShowNoPrinters() {
    QMessageBox::information(this, "Pressgate", "There are no printers defined on this machine.");
}

void TPrnWiz1::NextButtonClick() {
    if (queueNameEdit_->text().isEmpty()) {
        QMessageBox::information(this, "Pressgate", "Must enter a Printer Queue name");
        return;
    }
    if (remoteRadio_->isChecked()) {
        // Page 2 reads the name from this page, which keeps it while hidden.
        hide();
        if (page2_ != nullptr) {
            page2_->ShowPage();
        }
        return;
    }
    auto queue = std::make_shared<PrintQueue>(queueNameEdit_->text().toStdString());
    QueueTarget target = queue->Target();
    target.destination = printerBox_->currentText().toStdString();
    target.remoteHost.clear();
    target.remotePort = 0;
    target.isRemote = false;
    queue->SetTarget(target);
    queue->SetStatusText("LPD Printer");
    AddQueue(spooler_, mainWindow_, queue);
    accept();
}

bool TPrnWiz1::AddQueue(LPDSpooler& spooler, TPressgate* mainWindow,
                        const std::shared_ptr<PrintQueue>& queue) {
    if (!spooler.AddPrinter(queue)) {
        return false;  // the spooler has said why; the caller drops the queue
    }
    if (spooler.State() == SpoolerState::Running) {
        queue->Activate();
    }
    if (mainWindow != nullptr) {
        mainWindow->AppendQueueRow(*queue);
    }
    return true;
}

}  // namespace pg
