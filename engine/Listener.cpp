#include "engine/Listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "log/ErrorText.h"
#include "log/LogFile.h"
#include "platform/OperatorMessage.h"
#include "platform/ThreadId.h"

namespace pg {

namespace {

// Accept failures that say nothing about the listening socket itself: out of descriptors or
// memory for a moment, or a client that gave up while waiting.
bool IsTransientAcceptError(int error) {
    return error == EINTR || error == EAGAIN || error == ECONNABORTED || error == EPROTO ||
           error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

Listener::Listener(const GeneralSettings& bindWith, Hooks hooks, ConnectionSet& connections,
                   void* ownerWindow, bool running, UniqueFd listening)
    : bindWith_(bindWith),
      hooks_(std::move(hooks)),
      connections_(connections),
      inheritedSocket_(listening.Valid()),
      inherited_(std::move(listening)) {
    ownerWindow_.store(ownerWindow);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_.Reset(fds[0]);
        wakeWrite_.Reset(fds[1]);
    }
    {
        MutexLock lock(mutex_);
        paused_ = !running;
    }
    thread_ = std::jthread([this](std::stop_token token) { RunLPDSpoolingServer(token); });
}

Listener::~Listener() {
    thread_.request_stop();
    Wake();
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Listener::Wake() {
    if (wakeWrite_) {
        char byte = 1;
        [[maybe_unused]] ssize_t ignored = ::write(wakeWrite_.Get(), &byte, 1);
    }
}

int Listener::WaitUntilListening() {
    MutexLock lock(mutex_);
    changed_.wait(lock, [this]() REQUIRES(mutex_) { return listenResult_ >= 0; });
    return listenResult_;
}

void Listener::Suspend() {
    {
        MutexLock lock(mutex_);
        paused_ = true;
    }
    Wake();
}

void Listener::Resume() {
    {
        MutexLock lock(mutex_);
        paused_ = false;
    }
    changed_.notify_all();
}

bool Listener::PauseDelay(int ms, const std::stop_token& stopToken) {
    if (ms <= 0) {
        return !stopToken.stop_requested();
    }
    MutexLock lock(mutex_);
    changed_.wait_for(lock, stopToken, std::chrono::milliseconds(ms), [] { return false; });
    return !stopToken.stop_requested();
}

void Listener::Fail(const char* call, const char* message, int error) {
    systemLog.Log(1,
                  "ThreadID(%u) Error - RunLPDSpoolingServer() : %s failed - socket error (%s)\n",
                  threadId_.load(), call, ErrorText(error).c_str());
    OperatorMessage::Show(ownerWindow_.load(), "Socket Error", message);
}

namespace {

// The bound-step of the process and its lock.
constinit Mutex boundStepMutex;
Listener::BoundStep boundStep GUARDED_BY(boundStepMutex);

// One address of ListenAddress.
struct ListenAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// "127.0.0.1, ::1" or "[::1]": numeric addresses separated by commas or blanks. False with the
// entry at fault in bad.
bool ParseListenAddresses(const std::string& text, std::vector<ListenAddress>& addresses,
                          std::string& bad) {
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = text.find_first_not_of(", \t", i);
        if (start == std::string::npos) {
            break;
        }
        size_t end = text.find_first_of(", \t", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string entry = text.substr(start, end - start);
        i = end;
        if (entry.size() >= 2 && entry.front() == '[' && entry.back() == ']') {
            entry = entry.substr(1, entry.size() - 2);
        }
        ListenAddress one;
        auto* in = reinterpret_cast<sockaddr_in*>(&one.address);
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&one.address);
        if (::inet_pton(AF_INET, entry.c_str(), &in->sin_addr) == 1) {
            in->sin_family = AF_INET;
            one.length = sizeof(sockaddr_in);
        } else if (::inet_pton(AF_INET6, entry.c_str(), &in6->sin6_addr) == 1) {
            in6->sin6_family = AF_INET6;
            one.length = sizeof(sockaddr_in6);
        } else {
            bad = entry;
            return false;
        }
        addresses.push_back(one);
    }
    return true;
}

void SetPort(sockaddr_storage& address, uint16_t port) {
    if (address.ss_family == AF_INET) {
        reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
    }
}

uint16_t BoundPortOf(int fd) {
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        return 0;
    }
    return bound.ss_family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in&>(bound).sin_port)
                                      : ntohs(reinterpret_cast<sockaddr_in6&>(bound).sin6_port);
}

}  // namespace

void Listener::SetBoundStep(BoundStep step) {
    MutexLock lock(boundStepMutex);
    boundStep = std::move(step);
}

bool Listener::RunBoundStep(const GeneralSettings& settings) {
    BoundStep step;
    {
        MutexLock lock(boundStepMutex);
        step = std::move(boundStep);
        boundStep = nullptr;
    }
    if (!step || step(settings)) {
        return true;
    }
    MutexLock lock(boundStepMutex);
    if (!boundStep) {
        boundStep = std::move(step);
    }
    return false;
}

int Listener::OpenSockets(const GeneralSettings& settings, std::vector<UniqueFd>& sockets) {
    std::vector<ListenAddress> addresses;
    std::string bad;
    if (!ParseListenAddresses(settings.listenAddress, addresses, bad)) {
        systemLog.Log(1,
                      "ThreadID(%u) Error - RunLPDSpoolingServer() : ListenAddress %s is no "
                      "numeric IPv4 or IPv6 address\n",
                      threadId_.load(), bad.c_str());
        Fail("bind()", "bind(sock) failed", EINVAL);
        return EINVAL;
    }
    // Without addresses: every address of both families on one socket, or IPv4 alone on a
    // system without IPv6.
    const bool everyAddress = addresses.empty();
    bool anyIPv4 = false;
    for (const ListenAddress& one : addresses) {
        anyIPv4 = anyIPv4 || one.address.ss_family == AF_INET;
    }
    if (everyAddress) {
        ListenAddress any;
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&any.address);
        in6->sin6_family = AF_INET6;
        in6->sin6_addr = in6addr_any;
        any.length = sizeof(sockaddr_in6);
        addresses.push_back(any);
    }

    std::vector<UniqueFd> opened;
    uint16_t port = settings.ListenPort();
    for (ListenAddress& entry : addresses) {
        UniqueFd fd(::socket(entry.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd && everyAddress && errno == EAFNOSUPPORT) {
            auto& in = reinterpret_cast<sockaddr_in&>(entry.address);
            entry.address = {};
            in.sin_family = AF_INET;
            in.sin_addr.s_addr = htonl(INADDR_ANY);
            entry.length = sizeof(sockaddr_in);
            fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        }
        if (!fd) {
            const int error = errno;
            Fail("socket()", "socket() failed", error);
            return error;
        }
        // Every connection the daemon closes leaves a TIME_WAIT behind; without this a restart
        // could not bind the port again for a minute.
        int one = 1;
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (entry.address.ss_family == AF_INET6) {
            // IPv4 clients come in on the IPv6 socket unless IPv4 addresses have their own.
            int v6only = anyIPv4 ? 1 : 0;
            ::setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
        }
        SetPort(entry.address, port);  // port 0: every socket gets the first one's port
        if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&entry.address), entry.length) != 0) {
            const int error = errno;
            Fail("bind()", "bind(sock) failed", error);
            return error;
        }
        if (::listen(fd.Get(), kBacklog) != 0) {
            const int error = errno;
            Fail("listen()", "listen(sock) failed", error);
            return error;
        }
        port = BoundPortOf(fd.Get());
        opened.push_back(std::move(fd));
    }
    sockets = std::move(opened);
    return 0;
}

bool Listener::WaitForRoom(const std::stop_token& stopToken) {
    const int limit = hooks_.settings()->general.maxConnections;
    if (limit <= 0) {
        return true;
    }
    ConnectionSet& connections = connections_;
    while (connections.Active() >= static_cast<size_t>(limit) && !stopToken.stop_requested()) {
        const auto now = std::chrono::steady_clock::now();
        if (!lastFullLog_ || now - *lastFullLog_ >= kFullLogInterval) {
            lastFullLog_ = now;
            systemLog.Log(1,
                          "ThreadID(%u) RunLPDSpoolingServer() : %d connections are served "
                          "(MaxConnections).  New ones wait in the listen queue.\n",
                          threadId_.load(), limit);
        }
        // A client that connects and says nothing holds a place others are waiting for.
        if (connections.CutLongestIdle(kIdleGraceWhenFull)) {
            systemLog.Log(3,
                          "ThreadID(%u) RunLPDSpoolingServer() : an idle connection is cut to "
                          "make room\n",
                          threadId_.load());
        }
        connections.WaitForRoom(static_cast<size_t>(limit), stopToken, kRoomCheckInterval);
    }
    return !stopToken.stop_requested();
}

void Listener::RunLPDSpoolingServer(std::stop_token stopToken) {
    const uint32_t threadId = CurrentThreadId();
    threadId_.store(threadId);

    const GeneralSettings& settings = bindWith_;
    // A socket handed over by the service manager is bound and listening already.
    std::vector<UniqueFd> sockets;
    int result = 0;
    if (inherited_) {
        sockets.push_back(std::move(inherited_));
    } else {
        result = OpenSockets(settings, sockets);
    }
    // Also after a failed bind: the step's giving up of root must not depend on the port.
    if (!RunBoundStep(settings)) {
        sockets.clear();
        result = result != 0 ? result : EPERM;
    }
    if (!sockets.empty()) {
        boundPort_.store(BoundPortOf(sockets.front().Get()));
    }
    {
        MutexLock lock(mutex_);
        listenResult_ = result;
    }
    changed_.notify_all();
    std::vector<pollfd> fds;
    for (const UniqueFd& fd : sockets) {
        fds.push_back({fd.Get(), POLLIN, 0});
    }
    fds.push_back({wakeRead_.Get(), POLLIN, 0});

    while (!sockets.empty() && !stopToken.stop_requested()) {
        {
            // Paused: take nothing; clients wait in the listen queue.
            MutexLock lock(mutex_);
            changed_.wait(lock, stopToken, [this]() REQUIRES(mutex_) { return !paused_; });
        }
        if (stopToken.stop_requested() || !WaitForRoom(stopToken)) {
            break;
        }
        for (pollfd& fd : fds) {
            fd.revents = 0;
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("accept()", "accept(sock) failed", errno);
            break;
        }
        if (fds.back().revents != 0) {
            char drain[64];
            while (::read(wakeRead_.Get(), drain, sizeof drain) > 0) {
            }
            continue;  // look at the pause flag and the stop request again
        }
        // One connection per pass, from the first socket that has one: the pause flag and the
        // connection count are looked at again before the next.
        int ready = -1;
        for (size_t i = 0; i + 1 < fds.size() && ready < 0; ++i) {
            if ((fds[i].revents & POLLIN) != 0) {
                ready = fds[i].fd;
            }
        }
        if (ready < 0) {
            continue;
        }
        UniqueFd client(::accept4(ready, nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) {
            int error = errno;
            if (!IsTransientAcceptError(error)) {
                Fail("accept()", "accept(sock) failed", error);
                break;
            }
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
                systemLog.Log(1,
                              "ThreadID(%u) RunLPDSpoolingServer() : accept() failed - socket "
                              "error (%s).  Trying again in a second.\n",
                              threadId, ErrorText(error).c_str());
                PauseDelay(1000, stopToken);
            }
            continue;
        }
        if (Serve(std::move(client), threadId)) {
            PauseDelay(hooks_.settings()->general.acceptDelayMs, stopToken);
        }
    }
    if (handOver_.load()) {
        TakeWaiting(sockets);
    }

    systemLog.Log(1, "ThreadID(%u) ExitThread - RunLPDSpoolingServer()\n", threadId);
    alive_.store(false);
}

bool Listener::Serve(UniqueFd client, uint32_t threadId) {
    if (!hooks_.running()) {
        systemLog.Log(3,
                      "ThreadID(%u) RunLPDSpoolingServer() : Job request ignored.  Spooler is "
                      "paused.\n",
                      threadId);
        return false;  // closed without a reply
    }
    systemLog.Log(3,
                  "ThreadID(%u) RunLPDSpoolingServer() : New connection request accepted. "
                  " Create a new thread to serve it.\n",
                  threadId);
    int one = 1;
    ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connections_.Start(std::move(client), hooks_.serve);
    return true;
}

void Listener::TakeWaiting(const std::vector<UniqueFd>& sockets) {
    const uint32_t threadId = threadId_.load();
    for (const UniqueFd& socket : sockets) {
        ::fcntl(socket.Get(), F_SETFL, ::fcntl(socket.Get(), F_GETFL) | O_NONBLOCK);
        for (;;) {
            UniqueFd client(::accept4(socket.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!client) {
                break;  // EAGAIN: nobody waits any more
            }
            Serve(std::move(client), threadId);
        }
    }
}

}  // namespace pg
