#pragma once

#include <QMainWindow>
#include <QString>

namespace pg {

class LPDSpooler;
class LPDPrinter;
class TPrnWiz1;
class TPrnWiz2;
class TGeneralSettings;
class TLoggingOptions;
class TViewPrintQ;
class TLPrnProp;
class TRPrnProp;

// The main window: the queue list, the message window fed by the system log, the daemon
// switch, the queue commands, and the notification-area icon when minimised.
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

    explicit TPressgate(LPDSpooler& spooler, QWidget* parent = nullptr);
    ~TPressgate() override;

    void SetDialogs(const Dialogs& dialogs);
    // The caption of the queue list's selected row; empty when no row is selected.
    QString SelectedQueueCaption() const;
    // Appends a row for a queue the wizard has just added.
    void AppendQueueRow(const LPDPrinter& queue);
    // Rebuilds the queue list, keeping the selection.
    void UpdateListView();

  private:
    LPDSpooler& spooler_;
    Dialogs dialogs_;
};

}  // namespace pg
