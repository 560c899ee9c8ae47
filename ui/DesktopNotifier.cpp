#include "ui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "ui/TrayIcon.h"

namespace pg {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";

// The desktop's notification service, when the session bus has one.
bool NotifyThroughService(const QString& title, const QString& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kService).value()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications",
                                                       kService, "Notify");
    const int timeoutMs = -1;  // the server's choice
    call << QString("Pressgate") << 0u << QString("printer-error") << title << text << QStringList()
         << QVariantMap() << timeoutMs;
    return bus.send(call);
}

}  // namespace

DesktopNotifier::DesktopNotifier(TrayIcon* tray, QObject* parent) : QObject(parent), tray_(tray) {}

void DesktopNotifier::Notify(const QString& title, const QString& text) {
    if (!enabled_) {
        return;
    }
    if (tray_ != nullptr && tray_->IsShown()) {
        tray_->ShowMessage(title, text);
    } else {
        NotifyThroughService(title, text);
    }
    emit Notified(title, text);
}

}  // namespace pg
