#include "ui/TrayIcon.h"

#include <QIcon>
#include <QSystemTrayIcon>

namespace pg {

namespace {

QIcon TrayPicture(bool running) {
    const QString name = running ? "tray-running" : "tray-paused";
    QIcon icon;
    icon.addFile(QString(":/images/icons/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QString(":/images/icons/%1-32.png").arg(name), QSize(32, 32));
    return icon;
}

}  // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this)) {
    icon_->setToolTip("Pressgate");
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    emit RestoreRequested();
                }
            });
}

bool TrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::Show(bool daemonRunning) {
    running_ = daemonRunning;
    icon_->setIcon(TrayPicture(daemonRunning));
    icon_->show();
}

void TrayIcon::Hide() {
    icon_->hide();
}

bool TrayIcon::IsShown() const {
    return icon_->isVisible();
}

}  // namespace pg
