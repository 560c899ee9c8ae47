#include "platform/OperatorMessage.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "log/LogFile.h"
#include "platform/Mutex.h"

namespace pg {

namespace {

struct SinkSlot {
    Mutex mutex;
    OperatorMessage::Sink sink GUARDED_BY(mutex);  // null: stderr and the system log
};

SinkSlot& Slot() {
    static SinkSlot slot;
    return slot;
}

}  // namespace

void OperatorMessage::Show(void* owner, const std::string& title, const std::string& text) {
    Sink sink;
    {
        SinkSlot& slot = Slot();
        MutexLock lock(slot.mutex);
        sink = slot.sink;
    }
    if (sink) {
        sink(owner, title, text);
        return;
    }
    // One write, so that the line never interleaves with what other threads write to stderr.
    const std::string line = title + ": " + text + "\n";
    while (::write(STDERR_FILENO, line.data(), line.size()) < 0 && errno == EINTR) {
    }
    systemLog.Log(1, "%s: %s\n", title.c_str(), text.c_str());
}

void OperatorMessage::SetSink(Sink sink) {
    Sink previous;  // destroyed after the lock is released
    SinkSlot& slot = Slot();
    MutexLock lock(slot.mutex);
    previous = std::exchange(slot.sink, std::move(sink));
}

}  // namespace pg
