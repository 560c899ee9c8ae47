#pragma once

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace pg {

// The notification-area icon: tooltip "Pressgate", the running or the paused picture as the
// daemon action's check mark says, and a menu with that action, "Restore" and "Exit". It is
// shown while the window is minimised to it; a double click asks for the window back.
class TrayIcon : public QObject {
    Q_OBJECT

  public:
    // daemon: the checkable daemon action shared with the window; exit: the window's Exit.
    TrayIcon(QAction* daemon, QAction* exit, QObject* parent = nullptr);
    ~TrayIcon() override;

    // False offscreen and on desktops without a notification area: minimising then only
    // minimises.
    static bool Available();

    void Show();
    void Hide();
    bool IsShown() const;
    // Which picture the icon shows: true for the running one.
    bool ShowsRunning() const { return running_; }
    // A balloon message from the icon (shown only while the icon is).
    void ShowMessage(const QString& title, const QString& text);

  signals:
    void RestoreRequested();

  private:
    void ShowPicture(bool running);

    QSystemTrayIcon* icon_;
    QMenu* menu_;
    bool running_ = false;
};

}  // namespace pg
