#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "config/GeneralSettings.h"
#include "engine/ConnectionSet.h"
#include "engine/DaemonSettings.h"
#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg {

// The listener thread: binds the LPD port on every address of ListenAddress (by default one
// dual-stack socket for IPv6 and IPv4; backlog 50 each), then accepts connections while the
// daemon runs and hands each to a thread of the connection set. Paused, or serving
// MaxConnections connections already, it takes no connection: clients wait in the listen queue
// and are served after the next Resume() or once a connection ends (an idle one is cut to make
// room). It ends on a failure of the socket layer or when it is stopped.
class Listener {
  public:
    static constexpr int kBacklog = 50;
    // At most one "MaxConnections reached" line in this time.
    static constexpr std::chrono::seconds kFullLogInterval{60};
    // While MaxConnections are served, a connection that has not sent its command line after
    // this long is cut to make room; how often that is looked at.
    static constexpr std::chrono::seconds kIdleGraceWhenFull{1};
    static constexpr std::chrono::milliseconds kRoomCheckInterval{200};

    // A step run once per process on the listener thread, after its sockets are bound (or
    // failed to bind) and before anything is accepted: the daemon gives up root there. When
    // it returns false the listener ends without accepting; the step then stays for the next
    // listener.
    using BoundStep = std::function<bool(const GeneralSettings& settings)>;
    static void SetBoundStep(BoundStep step);

    // What the listener asks of the daemon it listens for.
    struct Hooks {
        // The settings in force (MaxConnections and AcceptDelayMs are looked at as they change).
        std::function<std::shared_ptr<const DaemonSettings>()> settings;
        // Whether the daemon runs: a connection taken while it does not is closed unanswered.
        std::function<bool()> running;
        // The work of an accepted connection's thread.
        ConnectionSet::Body serve;
    };

    // Starts the thread, which binds the port and addresses of bindWith; running false starts
    // it paused. listening, when valid, is a socket that already listens (from the service
    // manager): it is used instead. Throws std::system_error when the thread cannot be created.
    Listener(const GeneralSettings& bindWith, Hooks hooks, ConnectionSet& connections,
             void* ownerWindow, bool running, UniqueFd listening = UniqueFd());
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
    // Waits until the sockets listen and the bound step has run (0), or until they could not
    // be made to or the step failed (the errno of the call that failed; EPERM for the step).
    int WaitUntilListening();
    // Another listener takes over: the connections already waiting in the listen queue are
    // still taken and served when this one stops, instead of being reset.
    void HandOver() { handOver_.store(true); }
    // Whether the socket came from the service manager.
    bool Inherited() const { return inheritedSocket_; }

  private:
    void RunLPDSpoolingServer(std::stop_token stopToken);
    // Binds and listens on every address of ListenAddress: 0, or the errno of the failed call
    // (reported); sockets holds them when all could be made.
    int OpenSockets(const GeneralSettings& settings, std::vector<UniqueFd>& sockets);
    bool RunBoundStep(const GeneralSettings& settings);
    // Takes and serves every connection waiting on sockets, without waiting for more.
    void TakeWaiting(const std::vector<UniqueFd>& sockets);
    // Serves an accepted connection (true), or closes it unanswered while the daemon does not
    // run.
    bool Serve(UniqueFd client, uint32_t threadId);
    // Waits while MaxConnections connections are served; false when stopped meanwhile.
    bool WaitForRoom(const std::stop_token& stopToken);
    void Fail(const char* call, const char* message, int error);
    void Wake();
    bool PauseDelay(int ms, const std::stop_token& stopToken);

    const GeneralSettings bindWith_;
    const Hooks hooks_;
    ConnectionSet& connections_;
    const bool inheritedSocket_;
    std::atomic<bool> handOver_{false};
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
    // Listener thread only.
    std::optional<std::chrono::steady_clock::time_point> lastFullLog_;

    std::jthread thread_;  // last: starts after everything above exists
};

}  // namespace pg
