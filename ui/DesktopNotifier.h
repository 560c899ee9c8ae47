#pragma once

#include <QObject>
#include <QString>

namespace pg {

class TrayIcon;

// Tells the desktop user about a queue that failed or a job that was given up: through the
// tray icon's balloon while the window sits in the notification area, otherwise through the
// desktop's notification service (org.freedesktop.Notifications on the session bus) where
// there is one. Switched off, it says nothing.
class DesktopNotifier : public QObject {
    Q_OBJECT

  public:
    explicit DesktopNotifier(TrayIcon* tray, QObject* parent = nullptr);

    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_; }

    // One notification headed title, unless switched off.
    void Notify(const QString& title, const QString& text);

  signals:
    // After each notification handed to the desktop.
    void Notified(const QString& title, const QString& text);

  private:
    TrayIcon* tray_;
    bool enabled_ = true;
};

}  // namespace pg
