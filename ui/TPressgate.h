#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QList>
#include <QMainWindow>
#include <QString>

class QAbstractItemView;
class QAction;
class QActionGroup;
class QEvent;
class QItemSelectionModel;
class QLabel;
class QListView;
class QListWidget;
class QModelIndex;
class QPoint;
class QCloseEvent;
class QShowEvent;
class QSplitter;
class QStackedWidget;
class QStandardItem;
class QStandardItemModel;
class QTimer;
class QToolBar;
class QTreeView;

namespace pg {

class LPDSpooler;
class PrintQueue;
class MessageWindowSink;
class TPrnWiz1;
class TPrnWiz2;
class TGeneralSettings;
class TLoggingOptions;
class TViewPrintQ;
class TLPrnProp;
class TRPrnProp;
class TrayIcon;

// The main window: the queue list, the message window fed by the system log, the daemon
// switch, the queue commands, and the notification-area icon when minimised.
//
// Every command is one QAction shared by the menu and the toolbar; the two exclusive groups
// (the daemon's button pair, the four view styles) are QActionGroups kept in step with their
// menu items. Creating the window installs the message-window sink and starts spooling with
// the daemon paused; destroying it removes the sink.
class TPressgate : public QMainWindow {
    Q_OBJECT

  public:
    // The windows the main window opens; all created once at start-up, hidden.
    struct Dialogs {
        TPrnWiz1* wizard1 = nullptr;
        TPrnWiz2* wizard2 = nullptr;
        TGeneralSettings* general = nullptr;
        TLoggingOptions* logging = nullptr;
        TViewPrintQ* viewer = nullptr;
        TLPrnProp* localProperties = nullptr;
        TRPrnProp* remoteProperties = nullptr;
    };

    // The queue list's view styles, in the order of the View menu.
    enum class ViewStyle { LargeIcons, SmallIcons, List, Detail };

    // The queue list's columns and the role holding a row's image index (0 "Add Printer",
    // 1 local queue, 2 remote queue).
    enum Column { kNameColumn = 0, kJobsColumn, kStatusColumn, kCommentsColumn };
    static constexpr int kImageIndexRole = Qt::UserRole + 1;
    static constexpr const char* kAddPrinterCaption = "Add Printer";
    // The message window keeps this many lines before it appends one more.
    static constexpr int kMessageLinesKept = 500;

    explicit TPressgate(LPDSpooler& spooler, QWidget* parent = nullptr);
    ~TPressgate() override;

    void SetDialogs(const Dialogs& dialogs);
    // The start-up picture the clock closes on its fourth tick.
    void SetSplash(QWidget* splash);
    // The caption of the queue list's selected row; empty when no row is selected.
    QString SelectedQueueCaption() const;
    // Appends a row for a queue the wizard has just added.
    void AppendQueueRow(const PrintQueue& queue);
    // Rebuilds the queue list, keeping the selection (does nothing while the spooler has no
    // queue).
    void UpdateListView();

    // One tick of the 500 ms clock: the time of day, the splash, the periodic refresh.
    void ClockTick();
    // Appends a line as it is, dropping the oldest lines beyond kMessageLinesKept first.
    void AddMessageLine(const QString& line);
    void SetViewStyle(ViewStyle style);
    ViewStyle CurrentViewStyle() const { return viewStyle_; }
    // Minimises to the notification area (or just minimises without one).
    void MinimiseApplication();
    // Back from the notification area.
    void RestoreApplication();
    // libpgabout.so is looked for in the program's own directory; tests point elsewhere.
    void SetAboutLibraryDirectory(const QString& directory) { aboutDirectory_ = directory; }

    // The commands, as the menus, toolbar buttons and the list's mouse actions run them.
    void QueueProperties();
    void ViewPrinterQueue();
    void OpenSelected();
    void ResumeQueue();
    void PauseQueue();
    void PurgeQueue();
    void DeleteQueue();
    void ToggleDaemon();
    void ShowAboutBox();

    // What the window shows, for tests and the screenshot driver.
    QStandardItemModel* QueueModel() const { return queueModel_; }
    QItemSelectionModel* QueueSelection() const;
    QListWidget* MessageList() const { return messageList_; }
    QAbstractItemView* QueueView() const;
    TrayIcon* Tray() const { return tray_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    Q_INVOKABLE void DrainMessages();

    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateViews();
    void CreateStatusBar();
    void FormShow();
    // AddMessageLine() without the scrolling.
    void AppendMessageLine(const QString& line);
    void AddHostLines();
    // The daemon's button pair and the menu check mark.
    void ShowDaemonState(bool running);
    void SetDaemon(bool activate);
    QList<QStandardItem*> RowFor(const QString& caption, int image, const QString& jobs,
                                 const QString& status, const QString& comment) const;
    QList<QStandardItem*> QueueRow(const PrintQueue& queue) const;
    // The selected row, -1 when none (row 0 is "Add Printer").
    int SelectedRow() const;
    // The selected queue's name for a queue command; nothing for no selection (after telling
    // the operator) or for the "Add Printer" row.
    std::optional<std::string> SelectedQueueForCommand();
    void Inform(const QString& text);
    void QueueContextMenu(QAbstractItemView* view, const QPoint& position);

    LPDSpooler& spooler_;
    Dialogs dialogs_;
    QWidget* splash_ = nullptr;
    std::shared_ptr<MessageWindowSink> sink_;
    int tickCount_ = 0;
    bool shownOnce_ = false;
    ViewStyle viewStyle_ = ViewStyle::Detail;
    QString aboutDirectory_;

    QStandardItemModel* queueModel_;
    QStackedWidget* queueStack_;
    QListView* iconView_;
    QTreeView* detailView_;
    QListWidget* messageList_;
    QSplitter* splitter_;
    QToolBar* toolBar_;
    QLabel* statusPanels_[3];
    QTimer* clock_;
    TrayIcon* tray_;

    // File
    QAction* actOpen_;
    QAction* actResumeQueue_;
    QAction* actPauseQueue_;
    QAction* actPurgeQueue_;
    QAction* actDeleteQueue_;
    QAction* actQueueProperties_;
    QAction* actExit_;
    // View
    QAction* actToolbar_;
    QAction* actStatusbar_;
    QAction* actViewStyle_[4];
    QActionGroup* viewStyleGroup_;
    QAction* actRefresh_;
    // Options
    QAction* actActivateLPD_;
    QAction* actGeneral_;
    QAction* actLogging_;
    QAction* actClearMessages_;
    // Help
    QAction* actContents_;
    QAction* actAbout_;
    // Toolbar only
    QAction* actDaemonOn_;
    QAction* actDaemonOff_;
    QActionGroup* daemonGroup_;
    QAction* actViewQueue_;
    // Queue list context menu
    QAction* actContextOpen_;
};

}  // namespace pg
