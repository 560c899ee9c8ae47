#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <stop_token>
#include <thread>

#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg {

// The threads serving accepted connections, one per connection. The set owns each socket and
// closes it as soon as its thread's body returns; finished threads are joined on the next
// Start() or at StopAll(), which ends every running one by shutting its socket down and asking
// it to stop, and returns only after all have ended.
class ConnectionSet {
  public:
    using Body = std::function<void(int fd, std::stop_token stopToken)>;

    ConnectionSet() = default;
    ~ConnectionSet();
    ConnectionSet(const ConnectionSet&) = delete;
    ConnectionSet& operator=(const ConnectionSet&) = delete;

    // False (and the socket closed) when the thread cannot be created or the set is stopping.
    bool Start(UniqueFd socket, Body body);
    void StopAll();
    // Connections whose thread has not finished yet.
    size_t Active() const;

  private:
    // One connection. Its fields belong to the set: `mutex` is the set's mutex_.
    struct Entry {
        explicit Entry(Mutex& setMutex) : mutex(setMutex) {}
        Mutex& mutex;
        std::jthread thread GUARDED_BY(mutex);
        UniqueFd socket GUARDED_BY(mutex);
        bool done GUARDED_BY(mutex) = false;
    };
    // Holding mutex_ is holding every entry's `mutex`: tells the lock check so.
    void Held(const Entry& entry) const REQUIRES(mutex_) ASSERT_CAPABILITY(entry.mutex);
    void TakeFinished(std::list<std::unique_ptr<Entry>>& finished) REQUIRES(mutex_);

    mutable Mutex mutex_;
    std::list<std::unique_ptr<Entry>> entries_ GUARDED_BY(mutex_);
    bool stopping_ GUARDED_BY(mutex_) = false;
};

}  // namespace pg
