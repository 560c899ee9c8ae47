#include "ui/AddQueueWizard.h"

#include <QPixmap>
#include <cstdint>
#include <memory>

#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "ui/HelpViewer.h"
#include "ui/QueueKindPage.h"
#include "ui/RemoteHostPage.h"

namespace pg {

AddQueueWizard::AddQueueWizard(LPDSpooler& spooler, QWidget* parent)
    : QWizard(parent), spooler_(spooler) {
    setObjectName("AddQueueWizard");
    setModal(false);
    setWizardStyle(QWizard::ClassicStyle);  // the artwork on the left of every page
    setOption(QWizard::HaveHelpButton);
    setOption(QWizard::NoBackButtonOnStartPage, false);
    const QPixmap artwork(":/images/wizard.png");
    if (!artwork.isNull()) {
        setPixmap(QWizard::WatermarkPixmap,
                  artwork.scaled(124, 232, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    setPage(kQueuePage, new QueueKindPage(spooler));
    setPage(kRemotePage, new RemoteHostPage);

    const auto title = [this](int id) {
        setWindowTitle(id == kRemotePage ? "Add Printer: Remote Host Settings"
                                         : "Add Printer: Create LPD Queue");
    };
    connect(this, &QWizard::currentIdChanged, this, title);
    title(kQueuePage);
    connect(this, &QWizard::helpRequested, this, [this] {
        ShowHelp(this, currentId() == kRemotePage ? kHelpWizardPage2 : kHelpWizardPage1);
    });
    resize(560, 360);
}

void AddQueueWizard::done(int result) {
    if (result != QDialog::Accepted) {
        QWizard::done(result);
        return;
    }
    // QWizard::done() would check the page again, after the queue exists.
    if (validateCurrentPage() && AddTheQueue()) {
        QDialog::done(result);
    }
}

// The pages have checked their fields; the spooler has the last word on the name (it says why
// itself).
bool AddQueueWizard::AddTheQueue() {
    const QString name = field(QueueKindPage::kNameField).toString();
    auto queue = std::make_shared<PrintQueue>(name.toStdString());
    QueueTarget target = queue->Target();
    target.remoteHost.clear();
    target.remotePort = 0;
    target.isRemote = field(QueueKindPage::kRemoteField).toBool();
    if (target.isRemote) {
        target.destination = field(RemoteHostPage::kRemoteQueueField).toString().toStdString();
        target.remoteHost = field(RemoteHostPage::kRemoteHostField).toString().toStdString();
        // The queue keeps its port in 16 bits.
        target.remotePort = static_cast<uint16_t>(field(RemoteHostPage::kRemotePortField).toInt());
    } else {
        target.destination = field(QueueKindPage::kPrinterField).toString().toStdString();
        queue->SetStatusText("LPD Printer");
    }
    queue->SetTarget(target);
    if (!spooler_.AddPrinter(queue)) {
        return false;
    }
    if (spooler_.State() == SpoolerState::Running) {
        queue->Activate();
    }
    emit QueueAdded(name);
    return true;
}

}  // namespace pg
