#pragma once

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QtWidgets>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"
#include "ui/MainWindow.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/QueueListModel.h"

// GoogleTest prints QStrings (and so QStringLists) as text in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace pg::test {

// The operator in window tests: while it exists, it answers every modal message box and
// dialog that comes up (the modal ones a command opens with exec()) and records what it saw.
// Message boxes get the button given (a box without that button is closed as with Escape);
// other dialogs are rejected.
class ModalAnswerer {
  public:
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);

    void SetAnswer(QMessageBox::StandardButton answer) { answer_ = answer; }
    // Runs while each box or dialog is still open, before it is answered: what must hold
    // while the operator has not answered yet.
    void SetInspector(std::function<void()> inspector) { inspector_ = std::move(inspector); }
    // The titles of the boxes and dialogs seen so far; the texts of the message boxes.
    const QStringList& Titles() const { return titles_; }
    const QStringList& Texts() const { return texts_; }

  private:
    void Poll();

    QTimer timer_;
    QMessageBox::StandardButton answer_;
    std::function<void()> inspector_;
    bool busy_ = false;  // inside the inspector
    QStringList titles_;
    QStringList texts_;
};

// Processes events until predicate holds or timeoutMs passes.
inline bool WaitFor(const std::function<bool()>& predicate, int timeoutMs = 10000) {
    return QTest::qWaitFor(predicate, timeoutMs);
}

// A main window over a TestDaemon's spooler, with the engine's operator messages shown as
// boxes as the program does. The window's sampling timer is stopped, so that only the test
// refreshes the list.
class WindowFixture : public ::testing::Test {
  protected:
    void Start(const TestConfig& config = TestConfig(), bool activate = true);
    // A new window over the same daemon (the old one goes first, saving what it remembers).
    void Reopen();

    MainWindow& Window() { return *window_; }
    LPDSpooler& Spooler() { return daemon_->Spooler(); }
    std::shared_ptr<PrintQueue> Queue(const std::string& name) { return Spooler().FindQueue(name); }
    const MainActions& Actions() { return window_->Actions(); }

    QString Cell(int row, int column) const {
        return window_->QueueModel()->index(row, column).data().toString();
    }
    QStringList Captions() const;
    void Select(const QString& caption) {
        ASSERT_TRUE(window_->SelectRow(caption)) << caption.toStdString();
    }

    // A key of pgate.ini, "<none>" when it is missing; QueueEntry: a queue's [Print Queues] value.
    std::string Key(const std::string& section, const std::string& key) const;
    std::string QueueEntry(const std::string& name) const { return Key("Print Queues", name); }
    std::string IniText() const { return ReadFile(daemon_->IniPath()); }

    std::unique_ptr<TestDaemon> daemon_;
    std::unique_ptr<OperatorMessageBoxes> boxes_;
    std::unique_ptr<MainWindow> window_;
};

// The child of widget with that object name; null when there is none.
template <typename T = QWidget>
T* Find(QWidget* widget, const char* name) {
    return widget->findChild<T*>(name);
}
// A press of the left mouse button on a button, radio button or check box.
void Click(QAbstractButton* button);
// Clicks the push button of that object name in dialog.
inline void Press(QWidget* dialog, const char* button) {
    Click(dialog->findChild<QPushButton*>(button));
}
// What a field shows: a check box "Y" or "N", a combo box its text, any other its text.
QString Shown(QWidget* field);
// Enters a value as the operator would: clicks a check box into "Y" or "N", types text over
// a field's whole content.
void Enter(QWidget* field, const QString& value);

}  // namespace pg::test
