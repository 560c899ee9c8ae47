#pragma once

#include <atomic>
#include <chrono>
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
    using Clock = std::chrono::steady_clock;
    // The body sets engaged once the client has said what it wants; until then the connection
    // is idle and may be cut to make room (CutLongestIdle).
    using Body = std::function<void(int fd, std::stop_token stopToken, std::atomic<bool>& engaged)>;

    ConnectionSet() = default;
    ~ConnectionSet();
    ConnectionSet(const ConnectionSet&) = delete;
    ConnectionSet& operator=(const ConnectionSet&) = delete;

    // False (and the socket closed) when the thread cannot be created or the set is stopping.
    bool Start(UniqueFd socket, Body body);
    void StopAll();
    // Connections whose thread has not finished yet.
    size_t Active() const;
    // Waits until fewer than limit connections are active, at most timeout; false when the
    // time passes or stopToken asks the caller to end first.
    bool WaitForRoom(size_t limit, std::stop_token stopToken, Clock::duration timeout);
    // Ends the connection that has been idle longest, if it has been idle for at least grace;
    // false when there is none.
    bool CutLongestIdle(Clock::duration grace);

  private:
    // One connection. Its fields belong to the set: `mutex` is the set's mutex_.
    struct Entry {
        explicit Entry(Mutex& setMutex) : mutex(setMutex) {}
        Mutex& mutex;
        std::jthread thread GUARDED_BY(mutex);
        UniqueFd socket GUARDED_BY(mutex);
        bool done GUARDED_BY(mutex) = false;
        Clock::time_point started GUARDED_BY(mutex);
        std::atomic<bool> engaged{false};  // set by the body
    };
    // Holding mutex_ is holding every entry's `mutex`: tells the lock check so.
    void Held(const Entry& entry) const REQUIRES(mutex_) ASSERT_CAPABILITY(entry.mutex);
    void TakeFinished(std::list<std::unique_ptr<Entry>>& finished) REQUIRES(mutex_);
    size_t ActiveLocked() const REQUIRES(mutex_);

    mutable Mutex mutex_;
    std::condition_variable_any finished_;  // a connection's thread finished its body
    std::list<std::unique_ptr<Entry>> entries_ GUARDED_BY(mutex_);
    bool stopping_ GUARDED_BY(mutex_) = false;
};

}  // namespace pg
