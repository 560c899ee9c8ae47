#include "ui/OperatorMessageBoxes.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <set>

#include "platform/Mutex.h"
#include "platform/OperatorMessage.h"

namespace pg {

namespace {

struct Request {
    uint64_t id = 0;
    std::string title;
    std::string text;
};

}  // namespace

// The requests cross threads only under the gate's mutex; the posted call carries no data.
struct OperatorMessageBoxes::Gate {
    QThread* windowThread = nullptr;  // set before the sink is installed, then never changed
    Mutex mutex;
    std::condition_variable_any answered;
    OperatorMessageBoxes* target GUARDED_BY(mutex) = nullptr;  // null once the object is gone
    std::deque<Request> queued GUARDED_BY(mutex);
    std::set<uint64_t> awaited GUARDED_BY(mutex);  // requests whose thread waits for the box
    uint64_t nextId GUARDED_BY(mutex) = 1;
};

OperatorMessageBoxes::OperatorMessageBoxes(QWidget* owner)
    : gate_(std::make_shared<Gate>()), windowThread_(QThread::currentThread()), owner_(owner) {
    gate_->windowThread = windowThread_;
    {
        MutexLock lock(gate_->mutex);
        gate_->target = this;
    }
    OperatorMessage::SetSink(
        [gate = gate_](void*, const std::string& title, const std::string& text) {
            if (QThread::currentThread() == gate->windowThread) {
                // The window thread is the one that destroys the object, so it may follow the
                // pointer after the lock is released.
                OperatorMessageBoxes* target = nullptr;
                {
                    MutexLock lock(gate->mutex);
                    target = gate->target;
                }
                if (target != nullptr) {
                    target->ShowBox(title, text);
                }
                return;
            }
            MutexLock lock(gate->mutex);
            if (gate->target == nullptr) {
                return;
            }
            const uint64_t id = gate->nextId++;
            const bool waits = WaitsForOperator(title, text);
            gate->queued.push_back(Request{id, title, text});
            if (waits) {
                gate->awaited.insert(id);
            }
            QMetaObject::invokeMethod(gate->target, "ShowNext", Qt::QueuedConnection);
            if (waits) {
                gate->answered.wait(
                    lock, [&]() REQUIRES(gate->mutex) { return gate->awaited.count(id) == 0; });
            }
        });
}

OperatorMessageBoxes::~OperatorMessageBoxes() {
    OperatorMessage::SetSink(nullptr);
    MutexLock lock(gate_->mutex);
    gate_->target = nullptr;
    gate_->queued.clear();
    gate_->awaited.clear();
    gate_->answered.notify_all();
}

bool OperatorMessageBoxes::WaitsForOperator(const std::string& title, const std::string& text) {
    return title == "getaddrinfo() failed." || (title == "Error" && text == "socket() failed");
}

size_t OperatorMessageBoxes::WaitingThreads() const {
    MutexLock lock(gate_->mutex);
    return gate_->awaited.size();
}

void OperatorMessageBoxes::ShowNext() {
    // One posted box at a time, in the order they came: a call made from the event loop of
    // the box that is open leaves its message to the loop below.
    if (showing_) {
        return;
    }
    showing_ = true;
    for (;;) {
        Request request;
        {
            MutexLock lock(gate_->mutex);
            if (gate_->queued.empty()) {
                break;
            }
            request = std::move(gate_->queued.front());
            gate_->queued.pop_front();
        }
        ShowBox(request.title, request.text);
        MutexLock lock(gate_->mutex);
        if (gate_->awaited.erase(request.id) != 0) {
            gate_->answered.notify_all();
        }
    }
    showing_ = false;
}

void OperatorMessageBoxes::ShowBox(const std::string& title, const std::string& text) {
    QWidget* parent = owner_ && owner_->isVisible() ? owner_.data() : nullptr;
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace pg
