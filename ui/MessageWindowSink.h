#pragma once

#include <string>
#include <vector>

#include "platform/Mutex.h"

class QObject;

namespace pg {

// Carries the system log's lines from whatever thread writes them to the window thread.
// Push() stamps the line, queues it and, when nothing is queued yet, posts one call of the
// target's invokable drain method; on the window thread that method Take()s every line queued
// so far. Lines keep the order in which they were pushed.
//
// The posted call carries no data: the lines cross threads only under mutex_, and Detach()
// (window thread, before the target goes) makes later pushes drop their line, so no call is
// ever posted to a destroyed window.
class MessageWindowSink {
  public:
    // drainMethod: the name of a Q_INVOKABLE method of target without arguments.
    MessageWindowSink(QObject* target, const char* drainMethod);
    MessageWindowSink(const MessageWindowSink&) = delete;
    MessageWindowSink& operator=(const MessageWindowSink&) = delete;

    // Any thread: queues "<stamp> <text>".
    void Push(const char* text);
    // Window thread: every queued line, oldest first.
    std::vector<std::string> Take();
    // Window thread: the target is going away.
    void Detach();

  private:
    const char* const drainMethod_;
    Mutex mutex_;
    QObject* target_ GUARDED_BY(mutex_);  // null once detached
    std::vector<std::string> pending_ GUARDED_BY(mutex_);
    bool drainPosted_ GUARDED_BY(mutex_) = false;  // a drain call is on its way
};

}  // namespace pg
