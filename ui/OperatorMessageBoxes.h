#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <memory>
#include <string>

class QThread;

namespace pg {

// Shows the engine's operator messages (platform/OperatorMessage.h) as message boxes on the
// window thread, for as long as the object exists.
//
// A message raised on the window thread is shown at once, modally. One raised on another
// thread is posted to the window thread; the raising thread goes on at once, except for the
// messages of a remote queue's destination test (WaitsForOperator()), whose connection thread
// waits until the operator has closed the box. The listener's "Winsock Error" messages never
// wait: a listener held by a box would stop taking connections.
class OperatorMessageBoxes : public QObject {
    Q_OBJECT

  public:
    // Installs the sink. owner, when visible, parents the boxes.
    explicit OperatorMessageBoxes(QWidget* owner = nullptr);
    // Removes the sink; threads still waiting for a box go on, boxes not shown yet are dropped.
    ~OperatorMessageBoxes() override;

    // The window that parents the boxes while it is visible (window thread).
    void SetOwner(QWidget* owner) { owner_ = owner; }

    // The messages that hold a worker thread until the box is closed.
    static bool WaitsForOperator(const std::string& title, const std::string& text);

    // Worker threads waiting for the operator to close their box now.
    size_t WaitingThreads() const;

  private:
    struct Gate;  // what the sink shares with the object; outlives it

    Q_INVOKABLE void ShowNext();
    void ShowBox(const std::string& title, const std::string& text);

    std::shared_ptr<Gate> gate_;
    QThread* const windowThread_;
    QPointer<QWidget> owner_;
    bool showing_ = false;  // a posted box is open (window thread only)
};

}  // namespace pg
