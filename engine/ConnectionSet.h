#pragma once

#include <condition_variable>
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
    // Waits until fewer than limit connections are active; false when stopToken asks the
    // caller to end first.
    bool WaitForRoom(size_t limit, std::stop_token stopToken);

  private:
    struct Entry {
        std::jthread thread;
        UniqueFd socket;  // guarded by the set's mutex
        bool done = false;
    };
    void TakeFinished(std::list<std::unique_ptr<Entry>>& finished) REQUIRES(mutex_);

    size_t ActiveLocked() const REQUIRES(mutex_);

    mutable Mutex mutex_;
    std::condition_variable_any finished_;  // a connection's thread finished its body
    std::list<std::unique_ptr<Entry>> entries_ GUARDED_BY(mutex_);
    bool stopping_ GUARDED_BY(mutex_) = false;
};

}  // namespace pg
