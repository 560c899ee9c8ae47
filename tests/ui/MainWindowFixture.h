#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <memory>

#include "tests/support/TestDaemon.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/TPressgate.h"

class QAction;
class QToolButton;

namespace pg::test {

// A main window over a TestDaemon's spooler, with the engine's operator messages shown as
// boxes as the program does, and the window's clock stopped so that only the test refreshes
// the list. Reads the queue list the way an operator sees it and finds menu items
// by menu and text, toolbar buttons by tooltip.
class MainWindowFixture : public ::testing::Test {
  protected:
    void Start(const TestConfig& config = TestConfig(), bool activate = false);
    void TearDown() override;

    TPressgate& Window() { return *window_; }
    TestDaemon& Daemon() { return *daemon_; }
    LPDSpooler& Spooler() { return daemon_->Spooler(); }

    int Rows() const;
    QString Cell(int row, int column) const;
    int Image(int row) const;
    QStringList Captions() const;
    // Selects the row with exactly this caption.
    void Select(const QString& caption);
    void ClearSelection();

    // menu: "File", "View", "Options", "Help"; item: its text.
    QAction* MenuItem(const QString& menu, const QString& item) const;
    QStringList MenuItems(const QString& menu) const;
    QToolButton* ToolButton(const QString& toolTip) const;

    std::unique_ptr<TestDaemon> daemon_;
    std::unique_ptr<OperatorMessageBoxes> boxes_;
    std::unique_ptr<TPressgate> window_;
};

}  // namespace pg::test
