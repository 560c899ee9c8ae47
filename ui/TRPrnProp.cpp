#include "ui/TRPrnProp.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdint>
#include <memory>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/DialogButtons.h"
#include "ui/HelpViewer.h"
#include "ui/TPressgate.h"
#include "ui/UpDownSpinBox.h"

namespace pg {

namespace {

QLineEdit* MakeEdit(const char* objectName, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    return edit;
}

}  // namespace

TRPrnProp::TRPrnProp(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent)
    : QDialog(parent), spooler_(spooler), mainWindow_(mainWindow) {
    setWindowTitle("Remote Printer Properties");
    setFixedSize(420, 351);

    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    tabs->addTab(page, "Settings");

    queueNameEdit_ = MakeEdit("queueNameEdit", page);
    queueNameEdit_->setEnabled(false);
    remoteQueueEdit_ = MakeEdit("remoteQueueEdit", page);
    remoteHostEdit_ = MakeEdit("remoteHostEdit", page);
    remotePortSpin_ = new UpDownSpinBox(0, 32700, 515, page);
    remotePortSpin_->setObjectName("remotePortSpin");
    remotePortSpin_->setMinimumWidth(80);

    auto* grid = new QGridLayout(page);
    grid->setVerticalSpacing(12);
    const auto addRow = [&](int row, const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, page);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1, Qt::AlignLeft);
    };
    addRow(0, "Local Queue Name:", queueNameEdit_);
    addRow(1, "Remote Queue Name:", remoteQueueEdit_);
    addRow(2, "Remote Host Address:", remoteHostEdit_);
    addRow(3, "Remote Host Port:", remotePortSpin_);
    for (QLineEdit* edit : {queueNameEdit_, remoteQueueEdit_, remoteHostEdit_}) {
        edit->setMinimumWidth(220);
    }
    grid->setRowStretch(4, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(ApplyButtonRow(
        this, [this] { ApplyButtonClick(); }, kHelpRemoteProperties));
}

void TRPrnProp::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

// The port field keeps what it showed last when no queue is found.
void TRPrnProp::FormShow() {
    queueNameEdit_->clear();
    queueNameEdit_->setEnabled(false);
    remoteQueueEdit_->clear();
    remoteHostEdit_->clear();
    const QString caption =
        mainWindow_ != nullptr ? mainWindow_->SelectedQueueCaption() : QString();
    const std::string name = caption.toStdString();
    if (std::shared_ptr<PrintQueue> queue = spooler_.FindQueueIgnoringCase(name.c_str())) {
        const QueueTarget target = queue->Target();
        queueNameEdit_->setText(QString::fromStdString(queue->name));
        remoteQueueEdit_->setText(QString::fromStdString(target.destination));
        remoteHostEdit_->setText(QString::fromStdString(target.remoteHost));
        remotePortSpin_->Load(target.remotePort);
    }
}

// The port field only ever holds a number, so storing cannot stop half-way with the queue name
// and host changed but nothing saved.
void TRPrnProp::ApplyButtonClick() {
    const std::string name = queueNameEdit_->text().toStdString();
    std::shared_ptr<PrintQueue> queue = spooler_.FindQueueIgnoringCase(name.c_str());
    if (!queue) {
        return;
    }
    QueueTarget target = queue->Target();
    target.destination = remoteQueueEdit_->text().toStdString();
    target.remoteHost = remoteHostEdit_->text().toStdString();
    target.remotePort = static_cast<uint16_t>(remotePortSpin_->value());
    queue->SetTarget(target);
    spooler_.UpdatePrinter();
}

}  // namespace pg
