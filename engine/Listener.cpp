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

#include "engine/ConnectionHandler.h"
#include "engine/LPDSpooler.h"
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

Listener::Listener(LPDSpooler& spooler, void* ownerWindow, bool running, UniqueFd listening)
    : spooler_(spooler), inherited_(std::move(listening)) {
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

int Listener::BindListeningSocket(UniqueFd& listening) {
    listening.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listening) {
        const int error = errno;
        Fail("socket()", "socket() failed", error);
        return error;
    }
    // Every connection the daemon closes leaves a TIME_WAIT behind; without this a restart
    // could not bind the port again for a minute.
    int one = 1;
    ::setsockopt(listening.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(spooler_.Settings().ListenPort());
    if (::bind(listening.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        Fail("bind()", "bind(sock) failed", error);
        listening.Reset();
        return error;
    }
    if (::listen(listening.Get(), kBacklog) != 0) {
        const int error = errno;
        Fail("listen()", "listen(sock) failed", error);
        listening.Reset();
        return error;
    }
    return 0;
}

void Listener::RunLPDSpoolingServer(std::stop_token stopToken) {
    const uint32_t threadId = CurrentThreadId();
    threadId_.store(threadId);

    // A socket handed over by the service manager is bound and listening already.
    int result = 0;
    UniqueFd listening = std::move(inherited_);
    if (!listening) {
        result = BindListeningSocket(listening);
    }

    if (listening) {
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(listening.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
        boundPort_.store(ntohs(bound.ss_family == AF_INET6
                                   ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                   : reinterpret_cast<sockaddr_in*>(&bound)->sin_port));
    }
    {
        MutexLock lock(mutex_);
        listenResult_ = result;
    }
    changed_.notify_all();

    while (listening && !stopToken.stop_requested()) {
        {
            // Paused: take nothing; clients wait in the listen queue.
            MutexLock lock(mutex_);
            changed_.wait(lock, stopToken, [this]() REQUIRES(mutex_) { return !paused_; });
        }
        if (stopToken.stop_requested()) {
            break;
        }
        pollfd fds[2] = {{listening.Get(), POLLIN, 0}, {wakeRead_.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("accept()", "accept(sock) failed", errno);
            break;
        }
        if (fds[1].revents != 0) {
            char drain[64];
            while (::read(wakeRead_.Get(), drain, sizeof drain) > 0) {
            }
            continue;  // look at the pause flag and the stop request again
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        UniqueFd client(::accept4(listening.Get(), nullptr, nullptr, SOCK_CLOEXEC));
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
        if (spooler_.State() == SpoolerState::Running) {
            systemLog.Log(3,
                          "ThreadID(%u) RunLPDSpoolingServer() : New connection request accepted. "
                          " Create a new thread to serve it.\n",
                          threadId);
            int one = 1;
            ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            void* owner = ownerWindow_.load();
            LPDSpooler* spooler = &spooler_;
            spooler_.connections_.Start(std::move(client),
                                        [spooler, owner](int fd, std::stop_token token) {
                                            ConnectionHandler handler(*spooler, fd, owner);
                                            handler.Run(token);
                                        });
            PauseDelay(spooler_.Settings().acceptDelayMs, stopToken);
        } else {
            systemLog.Log(3,
                          "ThreadID(%u) RunLPDSpoolingServer() : Job request ignored.  Spooler is "
                          "paused.\n",
                          threadId);
            client.Reset();
        }
    }

    systemLog.Log(1, "ThreadID(%u) ExitThread - RunLPDSpoolingServer()\n", threadId);
    alive_.store(false);
}

}  // namespace pg
