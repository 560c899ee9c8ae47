#include "ui/MessageWindowSink.h"

#include <QMetaObject>
#include <QObject>
#include <utility>

#include "engine/MessageStamp.h"

namespace pg {

MessageWindowSink::MessageWindowSink(QObject* target, const char* drainMethod)
    : drainMethod_(drainMethod), target_(target) {}

void MessageWindowSink::Push(const char* text) {
    std::string line = MessageStamp() + " " + (text ? text : "");
    MutexLock lock(mutex_);
    if (target_ == nullptr) {
        return;
    }
    pending_.push_back(std::move(line));
    if (!drainPosted_) {
        // Posted under the lock, so Detach() cannot slip in between the test and the post.
        drainPosted_ = QMetaObject::invokeMethod(target_, drainMethod_, Qt::QueuedConnection);
    }
}

std::vector<std::string> MessageWindowSink::Take() {
    std::vector<std::string> lines;
    MutexLock lock(mutex_);
    lines.swap(pending_);
    drainPosted_ = false;
    return lines;
}

void MessageWindowSink::Detach() {
    MutexLock lock(mutex_);
    target_ = nullptr;
    pending_.clear();
}

}  // namespace pg
