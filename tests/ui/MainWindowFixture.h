#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestJobs.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/TGeneralSettings.h"
#include "ui/TLPrnProp.h"
#include "ui/TLoggingOptions.h"
#include "ui/TPressgate.h"
#include "ui/TPrnWiz1.h"
#include "ui/TPrnWiz2.h"
#include "ui/TRPrnProp.h"
#include "ui/TViewPrintQ.h"

namespace pg::test {

// Selects the queue list's row with exactly this caption; false when there is none.
bool SelectRow(TPressgate& window, const QString& caption);

// A main window over a TestDaemon's spooler, with the engine's operator messages shown as
// boxes as the program does, and the window's clock stopped so that only the test refreshes
// the list. Reads the queue list the way an operator sees it and finds menu items by menu and
// text, toolbar buttons by tooltip. StartDialogs() adds every dialog as the program builds them.
class MainWindowFixture : public ::testing::Test {
  protected:
    void Start(const TestConfig& config = TestConfig(), bool activate = false);
    void StartDialogs(const TestConfig& config = TestConfig(), bool activate = true);
    void TearDown() override;

    TPressgate& Window() { return *window_; }
    TestDaemon& Daemon() { return *daemon_; }
    LPDSpooler& Spooler() { return daemon_->Spooler(); }
    std::shared_ptr<PrintQueue> Queue(const std::string& name) { return Spooler().FindQueue(name); }

    int Rows() const { return window_->QueueModel()->rowCount(); }
    QString Cell(int row, int column) const {
        return window_->QueueModel()->index(row, column).data().toString();
    }
    // The row's texts: name, jobs, status, comments.
    QStringList Row(int row) const;
    int Image(int row) const {
        return window_->QueueModel()->index(row, 0).data(TPressgate::kImageIndexRole).toInt();
    }
    QStringList Captions() const;
    // Selects the row with exactly this caption.
    void Select(const QString& caption) {
        ASSERT_TRUE(SelectRow(*window_, caption)) << caption.toStdString();
    }

    // menu: "File", "View", "Options", "Help"; item: its text.
    QList<QAction*> MenuActions(const QString& menu) const;
    QAction* MenuItem(const QString& menu, const QString& item) const;
    QStringList MenuItems(const QString& menu) const { return ActionTexts(MenuActions(menu)); }
    QToolButton* ToolButton(const QString& toolTip) const;

    // A key of pgate.ini, "<none>" when it is missing; QueueEntry: a queue's [Print Queues] value.
    std::string Key(const std::string& section, const std::string& key) const;
    std::string QueueEntry(const std::string& name) const { return Key("Print Queues", name); }
    std::string IniText() const;

    std::unique_ptr<TestDaemon> daemon_;
    std::unique_ptr<OperatorMessageBoxes> boxes_;
    std::unique_ptr<TPressgate> window_;
    // Children of the window once StartDialogs() made them.
    TPrnWiz1* wizard1_ = nullptr;
    TPrnWiz2* wizard2_ = nullptr;
    TGeneralSettings* general_ = nullptr;
    TLoggingOptions* logging_ = nullptr;
    TViewPrintQ* viewer_ = nullptr;
    TLPrnProp* localProperties_ = nullptr;
    TRPrnProp* remoteProperties_ = nullptr;
};

// Every dialog of the program, made as the program makes them (hidden, children of window)
// and handed to window. (The screenshot driver builds its windows with these helpers too.)
TPressgate::Dialogs MakeDialogs(LPDSpooler& spooler, TPressgate& window);
// One whole job over RFC 1179 as an LPR client sends it (receive-job, control file naming
// user, host and title, data file of the given bytes); true when every step was acknowledged.
bool SendJob(uint16_t port, const std::string& queue, int jobNo, const std::string& user,
             const std::string& host, const std::string& title, const std::string& data);

// A job as reception enters it (its control file asks for its files to be removed with it),
// with a control file and a data file in the queue's spool directory whose sizes add up to
// totalBytes (the data file written sparse). The job is added to the queue in state waiting.
std::shared_ptr<JobEntry> AddSizedJob(PrintQueue& queue, int jobNo, const std::string& user,
                                      const std::string& host, uint64_t totalBytes);

}  // namespace pg::test
