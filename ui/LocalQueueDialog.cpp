#include "ui/LocalQueueDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/DialogButtons.h"
#include "ui/HelpViewer.h"
#include "ui/PrinterChoices.h"

namespace pg {

LocalQueueDialog::LocalQueueDialog(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                                   QWidget* parent)
    : QDialog(parent), spooler_(spooler), queue_(std::move(queue)) {
    setWindowTitle("Local Printer Properties");

    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    tabs->addTab(page, "Queue Settings");

    auto* nameLabel = new QLabel("Printer Queue Name:", page);
    queueNameEdit_ = new QLineEdit(page);
    queueNameEdit_->setObjectName("queueNameEdit");
    queueNameEdit_->setEnabled(false);
    auto* printerLabel = new QLabel("Local &Printer Assigned To This Queue:", page);
    QFont bold = printerLabel->font();
    bold.setBold(true);
    printerLabel->setFont(bold);
    printerBox_ = new QComboBox(page);
    printerBox_->setObjectName("printerBox");
    printerBox_->setEditable(true);
    printerBox_->setInsertPolicy(QComboBox::NoInsert);
    printerBox_->setMaxVisibleItems(20);
    printerLabel->setBuddy(printerBox_);
    formFeedCheck_ = new QCheckBox("Place a &Form Feed (FF) at the end of each print job.", page);
    formFeedCheck_->setObjectName("formFeedCheck");

    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(nameLabel);
    pageLayout->addWidget(queueNameEdit_);
    pageLayout->addSpacing(16);
    pageLayout->addWidget(printerLabel);
    pageLayout->addWidget(printerBox_);
    pageLayout->addSpacing(16);
    pageLayout->addWidget(formFeedCheck_);
    pageLayout->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(ApplyButtonRow(
        this, [this] { return Apply(); }, kHelpLocalProperties));

    PrinterChoices::Fill(*printerBox_, spooler_);
    if (queue_) {
        const QueueTarget target = queue_->Target();
        queueNameEdit_->setText(QString::fromStdString(queue_->name));
        printerBox_->setEditText(QString::fromStdString(target.destination));
        formFeedCheck_->setChecked(target.formFeedAtEndOfJob);
    }
    resize(458, 401);
}

// The queue may have been deleted while the dialog was open: then nothing is stored.
bool LocalQueueDialog::Apply() {
    if (!queue_ || spooler_.FindQueue(queue_->name) != queue_) {
        return true;
    }
    QueueTarget target = queue_->Target();
    target.destination = printerBox_->currentText().toStdString();
    target.formFeedAtEndOfJob = formFeedCheck_->isChecked();
    queue_->SetTarget(target);
    spooler_.UpdatePrinter();
    return true;
}

}  // namespace pg
