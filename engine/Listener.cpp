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

Listener::Listener(LPDSpooler& spooler, void* ownerWindow, bool running) : spooler_(spooler) {
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

void Listener::RunLPDSpoolingServer(std::stop_token stopToken) {
    const uint32_t threadId = CurrentThreadId();
    threadId_.store(threadId);

    UniqueFd listening(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listening) {
        Fail("socket()", "socket() failed", errno);
    } else {
        // Every connection the daemon closes leaves a TIME_WAIT behind; without this a restart
        // could not bind the port again for a minute.
        int one = 1;
        ::setsockopt(listening.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(spooler_.Settings().ListenPort());
        if (::bind(listening.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Fail("bind()", "bind(sock) failed", errno);
            listening.Reset();
        } else if (::listen(listening.Get(), kBacklog) != 0) {
            Fail("listen()", "listen(sock) failed", errno);
            listening.Reset();
        }
    }

    if (listening) {
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(listening.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
        boundPort_.store(ntohs(bound.sin_port));
    }

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
