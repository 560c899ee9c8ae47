#pragma once

#include <QObject>

class QSystemTrayIcon;

namespace pg {

// The notification-area icon of the minimised window: tooltip "Pressgate", the running or the
// paused picture as chosen when it is shown (it is not updated while shown). A double click
// asks for the window back; other clicks are ignored.
class TrayIcon : public QObject {
    Q_OBJECT

  public:
    explicit TrayIcon(QObject* parent = nullptr);

    // False offscreen and on desktops without a notification area: minimising then only
    // minimises.
    static bool Available();

    void Show(bool daemonRunning);
    void Hide();
    bool IsShown() const;
    // Which picture Show() chose: true for the running one.
    bool ShowsRunning() const { return running_; }

  signals:
    void RestoreRequested();

  private:
    QSystemTrayIcon* icon_;
    bool running_ = false;
};

}  // namespace pg
