#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <ostream>
#include <utility>
#include <vector>

// GoogleTest prints QStrings (and so QStringLists) as text in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace pg::test {

// The operator in window tests: while it exists, it answers every modal message box and
// dialog that comes up (the modal ones a command opens with exec()) and records what it saw.
// Message boxes get the button given (a box without that button is closed as with Escape);
// other dialogs are rejected.
class ModalAnswerer : public QObject {
    Q_OBJECT

  public:
    struct Seen {
        QString className;  // "QMessageBox", "QFileDialog", ...
        QString title;
        QString text;  // message boxes only
    };

    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);

    void SetAnswer(QMessageBox::StandardButton answer) { answer_ = answer; }
    // Runs while each box or dialog is still open, before it is answered: what must hold
    // while the operator has not answered yet.
    void SetInspector(std::function<void(const Seen&)> inspector) {
        inspector_ = std::move(inspector);
    }
    const std::vector<Seen>& All() const { return seen_; }
    int Count() const { return static_cast<int>(seen_.size()); }
    // The texts of the message boxes seen so far.
    QStringList Texts() const;
    void Clear() { seen_.clear(); }

  private:
    void Poll();

    QTimer timer_;
    QMessageBox::StandardButton answer_;
    std::function<void(const Seen&)> inspector_;
    bool busy_ = false;  // inside the inspector
    std::vector<Seen> seen_;
};

// Processes events until predicate holds or timeoutMs passes.
bool WaitFor(const std::function<bool()>& predicate, int timeoutMs = 10000);

}  // namespace pg::test
