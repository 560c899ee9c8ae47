#include "ui/TrayIcon.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace pg {

TrayIcon::TrayIcon(QAction* daemon, QAction* exit, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(this)), menu_(new QMenu) {
    icon_->setToolTip("Pressgate");
    menu_->addAction("&Restore", this, &TrayIcon::RestoreRequested);
    menu_->addAction(daemon);
    menu_->addSeparator();
    menu_->addAction(exit);
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    emit RestoreRequested();
                }
            });
    connect(daemon, &QAction::toggled, this, &TrayIcon::ShowPicture);
    ShowPicture(daemon->isChecked());
}

TrayIcon::~TrayIcon() {
    delete menu_;  // a menu with no parent widget: the tray icon does not own it
}

bool TrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::ShowPicture(bool running) {
    running_ = running;
    const QString name = running ? "tray-running" : "tray-paused";
    QIcon icon;
    icon.addFile(QString(":/images/icons/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QString(":/images/icons/%1-32.png").arg(name), QSize(32, 32));
    icon_->setIcon(icon);
}

void TrayIcon::Show() {
    icon_->show();
}

void TrayIcon::Hide() {
    icon_->hide();
}

bool TrayIcon::IsShown() const {
    return icon_->isVisible();
}

void TrayIcon::ShowMessage(const QString& title, const QString& text) {
    icon_->showMessage(title, text, QSystemTrayIcon::Warning);
}

}  // namespace pg
