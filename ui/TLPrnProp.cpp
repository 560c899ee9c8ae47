#include "ui/TLPrnProp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/DialogButtons.h"
#include "ui/HelpViewer.h"
#include "ui/PrinterChoices.h"
#include "ui/TPressgate.h"

namespace pg {

TLPrnProp::TLPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {
    setWindowTitle("Local Printer Properties");
    setFixedSize(458, 401);

    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    tabs->addTab(page, "Queue Settings");

    auto* nameLabel = new QLabel("Printer Queue Name:", page);
    queueNameEdit_ = new QLineEdit(page);
    queueNameEdit_->setObjectName("queueNameEdit");
    queueNameEdit_->setEnabled(false);
    auto* printerLabel = new QLabel("Local Printer Assigned To This Queue:", page);
    QFont bold = printerLabel->font();
    bold.setBold(true);
    printerLabel->setFont(bold);
    printerBox_ = new QComboBox(page);
    printerBox_->setObjectName("printerBox");
    printerBox_->setEditable(true);
    printerBox_->setInsertPolicy(QComboBox::NoInsert);
    printerBox_->setMaxVisibleItems(20);
    printerLabel->setBuddy(printerBox_);
    formFeedCheck_ = new QCheckBox("Place a Form Feed (FF) at the end of each print job.", page);
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
        this, [this] { ApplyButtonClick(); }, kHelpLocalProperties));
}

void TLPrnProp::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TLPrnProp::FormShow() {
    printerBox_->setEnabled(true);
    queueNameEdit_->clear();
    queueNameEdit_->setEnabled(false);
    PrinterChoices::Fill(*printerBox_, spooler_);
    const QString caption =
        mainWindow_ != nullptr ? mainWindow_->SelectedQueueCaption() : QString();
    const std::string name = caption.toStdString();
    if (std::shared_ptr<PrintQueue> queue = spooler_.FindQueueIgnoringCase(name.c_str())) {
        const QueueTarget target = queue->Target();
        queueNameEdit_->setText(QString::fromStdString(queue->name));
        printerBox_->setEditText(QString::fromStdString(target.destination));
        formFeedCheck_->setChecked(target.formFeedAtEndOfJob);
    }
}

// The queue is the one the dialog shows, looked up again: it may have gone meanwhile.
void TLPrnProp::ApplyButtonClick() {
    const std::string name = queueNameEdit_->text().toStdString();
    std::shared_ptr<PrintQueue> queue = spooler_.FindQueueIgnoringCase(name.c_str());
    if (!queue) {
        return;
    }
    QueueTarget target = queue->Target();
    target.destination = printerBox_->currentText().toStdString();
    target.formFeedAtEndOfJob = formFeedCheck_->isChecked();
    queue->SetTarget(target);
    spooler_.UpdatePrinter();
}

}  // namespace pg
