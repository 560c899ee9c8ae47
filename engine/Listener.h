#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <stop_token>
#include <thread>

#include "engine/ThreadArgs.h"
#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg {

class LPDSpooler;

// The listener thread: binds the LPD port (backlog 50), then accepts connections while the
// daemon runs and hands each to a connection thread of the spooler's. Paused, it takes no
// connection: clients wait in the listen queue and are served after the next Resume(). It ends
// on a failure of the socket layer or when it is stopped.
class Listener {
  public:
    static constexpr int kBacklog = 50;

    // Starts the thread; running false starts it paused. listening, when valid, is a socket
    // that already listens (from the service manager): it is used instead of binding the
    // port. Throws std::system_error when the thread cannot be created.
    Listener(LPDSpooler& spooler, void* ownerWindow, bool running, UniqueFd listening = UniqueFd());
    // Stops the thread and returns when it has ended.
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    void Suspend();
    void Resume();
    void SetOwnerWindow(void* ownerWindow) { ownerWindow_.store(ownerWindow); }
    // False once the thread has ended (after a socket failure).
    bool Alive() const { return alive_.load(); }
    // The port bound, 0 until bound.
    uint16_t BoundPort() const { return boundPort_.load(); }
    uint32_t ThreadId() const { return threadId_.load(); }
    // Waits until the socket listens (0) or could not be made to (the errno of the call that
    // failed).
    int WaitUntilListening();

  private:
    void RunLPDSpoolingServer(std::stop_token stopToken);
    // Makes, binds and listens on the configured port: 0, or the errno of the failed call.
    int BindListeningSocket(UniqueFd& listening);
    void Fail(const char* call, const char* message, int error);
    void Wake();
    bool PauseDelay(int ms, const std::stop_token& stopToken);

    LPDSpooler& spooler_;
    std::atomic<void*> ownerWindow_{nullptr};
    std::atomic<bool> alive_{true};
    std::atomic<uint16_t> boundPort_{0};
    std::atomic<uint32_t> threadId_{0};
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;

    Mutex mutex_;
    std::condition_variable_any changed_;
    bool paused_ GUARDED_BY(mutex_) = false;
    int listenResult_ GUARDED_BY(mutex_) = -1;  // -1 until known, then 0 or an errno
    UniqueFd inherited_;                        // taken by the thread when it starts

    std::jthread thread_;  // last: starts after everything above exists
};

}  // namespace pg
