#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <memory>

#include "ui/AddQueueWizard.h"
#include "ui/MainActions.h"

class QAbstractItemView;
class QCloseEvent;
class QEvent;
class QItemSelectionModel;
class QLabel;
class QListView;
class QPoint;
class QShowEvent;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolBar;
class QTreeView;

namespace pg {

class DesktopNotifier;
class LPDSpooler;
class MessagePane;
class PrintQueue;
class QueueListModel;
class TrayIcon;

// The main window: the queue list above the message pane, the daemon switch and the queue
// commands, and the notification-area icon when minimised. The window stays thin: the actions
// live in MainActions, the list in QueueListModel (sampled from the engine several times a
// second), the messages in MessagePane; UpdateActions() alone enables the commands from the
// selection and the daemon's state, and each dialog gets the queue it shows.
//
// Creating the window makes the message pane take the system log's lines, has the spooler's
// alerts (a queue held, a job given up) shown as desktop notifications, and starts spooling
// with the daemon paused; destroying it lets go of both and writes what it remembers
// (window.ini).
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // The queue list's view styles, in the order of the View menu.
    enum class ViewStyle { LargeIcons, SmallIcons, List, Detail };
    // How often the list samples the engine.
    static constexpr int kRefreshIntervalMs = 250;

    explicit MainWindow(LPDSpooler& spooler, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The commands, as the actions run them.
    void Refresh();
    void OpenSelected();
    void AddQueue();
    void ShowJobs();
    void ShowProperties();
    void ResumeQueue();
    void PauseQueue();
    void PurgeQueue();
    void DeleteQueue();
    void ShowAbout();
    void SetViewStyle(ViewStyle style);
    // Minimises to the notification area (or just minimises without one), and back.
    void MinimiseApplication();
    void RestoreApplication();

    // Selects the row of the queue named exactly so (the "Add Printer" row by its caption);
    // false when there is none.
    bool SelectRow(const QString& caption);
    // The selected queue while the spooler has it; null for no selection or "Add Printer".
    std::shared_ptr<PrintQueue> SelectedQueue() const;
    // libpgabout.so is looked for in the program's own directory; tests point elsewhere.
    void SetAboutLibraryDirectory(const QString& directory) { aboutDirectory_ = directory; }

    // What the window is made of, for tests and the screenshot driver.
    const MainActions& Actions() const { return actions_; }
    QueueListModel* QueueModel() const { return model_; }
    QItemSelectionModel* QueueSelection() const;
    QAbstractItemView* QueueView() const;
    ViewStyle CurrentViewStyle() const { return viewStyle_; }
    MessagePane* Messages() const { return messages_; }
    TrayIcon* Tray() const { return tray_; }
    DesktopNotifier* Notifier() const { return notifier_; }
    // The add-queue wizard while it is open.
    AddQueueWizard* Wizard() const { return wizard_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateViews();
    void ConnectActions();
    void UpdateActions();
    void SetDaemon(bool activate);
    int SelectedRow() const;
    void QueueContextMenu(const QPoint& position);
    void FirstShow();
    void AddHostLines();
    void RestoreLayout();
    void SaveLayout() const;

    LPDSpooler& spooler_;
    const MainActions actions_;
    QueueListModel* model_;
    QStackedWidget* queueStack_;
    QTreeView* detailView_;
    QListView* iconView_;
    MessagePane* messages_;
    QSplitter* splitter_;
    QToolBar* toolBar_;
    QLabel* clock_;
    QTimer* refreshTimer_;
    TrayIcon* tray_;
    DesktopNotifier* notifier_;
    QPointer<AddQueueWizard> wizard_;
    ViewStyle viewStyle_ = ViewStyle::Detail;
    QString aboutDirectory_;
    bool shownOnce_ = false;
};

}  // namespace pg
