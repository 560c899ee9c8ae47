#include "ui/QueueKindPage.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engine/LPDSpooler.h"
#include "ui/AddQueueWizard.h"
#include "ui/PrinterChoices.h"
#include "ui/QueueInputRules.h"

namespace pg {

QueueKindPage::QueueKindPage(LPDSpooler& spooler, QWidget* parent)
    : QWizardPage(parent), spooler_(spooler) {
    auto* intro = new QLabel(
        "This wizard helps you to share a printer of this computer using the LPD protocol.  "
        "Please select a local printer that you wish to share using the LPD protocol.  You can "
        "also define a remote printer, and have print jobs redirected to remote LPD's.",
        this);
    intro->setWordWrap(true);
    auto* nameHint =
        new QLabel("Then enter a Printer Queue Name to associate with the selected printer.", this);
    nameHint->setWordWrap(true);

    localRadio_ = new QRadioButton("&Local Printer", this);
    localRadio_->setObjectName("localRadio");
    localRadio_->setChecked(true);
    printerBox_ = new QComboBox(this);
    printerBox_->setObjectName("printerBox");
    printerBox_->setEditable(true);
    printerBox_->setInsertPolicy(QComboBox::NoInsert);
    noPrinters_ = new QLabel("There are no printers defined on this machine.", this);
    noPrinters_->setObjectName("noPrinters");
    remoteRadio_ = new QRadioButton("&Remote Printer", this);
    remoteRadio_->setObjectName("remoteRadio");
    remoteBox_ = new QComboBox(this);
    remoteBox_->setObjectName("remoteBox");
    remoteBox_->addItem("Remote LPD");
    auto* nameLabel = new QLabel("Select Printer &Queue Name:", this);
    queueNameEdit_ = new QLineEdit(this);
    queueNameEdit_->setObjectName("queueNameEdit");
    nameLabel->setBuddy(queueNameEdit_);

    registerField(kNameField, queueNameEdit_);
    registerField(kRemoteField, remoteRadio_);
    registerField(kPrinterField, printerBox_, "currentText");

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->addWidget(intro);
    layout->addSpacing(4);
    layout->addWidget(nameHint);
    layout->addSpacing(4);
    layout->addWidget(localRadio_);
    layout->addWidget(printerBox_);
    layout->addWidget(noPrinters_);
    layout->addWidget(remoteRadio_);
    layout->addWidget(remoteBox_);
    layout->addSpacing(4);
    layout->addWidget(nameLabel);
    layout->addWidget(queueNameEdit_);
    layout->addStretch(1);

    connect(localRadio_, &QRadioButton::toggled, this, &QueueKindPage::ApplyRadioRule);
}

// Every run of the wizard starts from the print system's current printers.
void QueueKindPage::initializePage() {
    const bool printers = PrinterChoices::Fill(*printerBox_, spooler_) > 0;
    localRadio_->setEnabled(printers);
    noPrinters_->setVisible(!printers);
    if (!printers) {
        remoteRadio_->setChecked(true);
    }
    ApplyRadioRule();
    queueNameEdit_->setFocus();
}

void QueueKindPage::ApplyRadioRule() {
    const bool local = localRadio_->isChecked();
    printerBox_->setEnabled(local);
    remoteBox_->setEnabled(!local);
    setFinalPage(local);  // Finish for a local queue, Next for a remote one
}

int QueueKindPage::nextId() const {
    return localRadio_->isChecked() ? -1 : AddQueueWizard::kRemotePage;
}

bool QueueKindPage::validatePage() {
    const QString name = queueNameEdit_->text();
    QString problem = QueueNameProblem(name);
    QString title = "Pressgate";
    if (problem.isEmpty() && spooler_.FindQueue(name.toStdString())) {
        problem = "Printer already exist!";
        title = "Error";
    }
    if (!problem.isEmpty()) {
        QMessageBox::information(this, title, problem);
        queueNameEdit_->setFocus();
        return false;
    }
    return true;
}

}  // namespace pg
