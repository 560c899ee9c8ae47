#include "ui/RemoteQueueDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdint>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/DialogButtons.h"
#include "ui/HelpViewer.h"
#include "ui/QueueInputRules.h"
#include "ui/UpDownSpinBox.h"

namespace pg {

RemoteQueueDialog::RemoteQueueDialog(LPDSpooler& spooler, std::shared_ptr<PrintQueue> queue,
                                     QWidget* parent)
    : QDialog(parent), spooler_(spooler), queue_(std::move(queue)) {
    setWindowTitle("Remote Printer Properties");

    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    tabs->addTab(page, "Settings");

    const auto edit = [page](const char* name) {
        auto* field = new QLineEdit(page);
        field->setObjectName(name);
        field->setMinimumWidth(220);
        return field;
    };
    queueNameEdit_ = edit("queueNameEdit");
    queueNameEdit_->setEnabled(false);
    remoteQueueEdit_ = edit("remoteQueueEdit");
    remoteHostEdit_ = edit("remoteHostEdit");
    remotePortSpin_ = new UpDownSpinBox(0, 32700, 515, page);
    remotePortSpin_->setObjectName("remotePortSpin");

    auto* grid = new QGridLayout(page);
    grid->setVerticalSpacing(12);
    const auto addRow = [&](int row, const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, page);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1, Qt::AlignLeft);
    };
    addRow(0, "Local Queue Name:", queueNameEdit_);
    addRow(1, "Remote &Queue Name:", remoteQueueEdit_);
    addRow(2, "Remote &Host Address:", remoteHostEdit_);
    addRow(3, "Remote Host &Port:", remotePortSpin_);
    grid->setRowStretch(4, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(ApplyButtonRow(
        this, [this] { return Apply(); }, kHelpRemoteProperties));

    if (queue_) {
        const QueueTarget target = queue_->Target();
        queueNameEdit_->setText(QString::fromStdString(queue_->name));
        remoteQueueEdit_->setText(QString::fromStdString(target.destination));
        remoteHostEdit_->setText(QString::fromStdString(target.remoteHost));
        remotePortSpin_->Load(target.remotePort);
    }
    resize(420, 351);
}

bool RemoteQueueDialog::Apply() {
    if (!queue_ || spooler_.FindQueue(queue_->name) != queue_) {
        return true;  // deleted while the dialog was open: nothing to store
    }
    for (const QString& problem : {RemoteQueueNameProblem(remoteQueueEdit_->text()),
                                   RemoteHostProblem(remoteHostEdit_->text())}) {
        if (!problem.isEmpty()) {
            QMessageBox::information(this, "Pressgate", problem);
            return false;
        }
    }
    QueueTarget target = queue_->Target();
    target.destination = remoteQueueEdit_->text().toStdString();
    target.remoteHost = remoteHostEdit_->text().toStdString();
    target.remotePort = static_cast<uint16_t>(remotePortSpin_->value());
    queue_->SetTarget(target);
    spooler_.UpdatePrinter();
    return true;
}

}  // namespace pg
