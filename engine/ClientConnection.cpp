#include "engine/ClientConnection.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>

#include <cstring>
#include "platform/Mutex.h"

namespace pg {

ClientConnection::ClientConnection(int fd, int timeoutSeconds)
    : fd_(fd), timeoutSeconds_(timeoutSeconds < 0 ? 0 : timeoutSeconds) {}

bool ClientConnection::Pause(std::chrono::milliseconds duration) const {
    Mutex mutex;
    std::condition_variable_any never;
    MutexLock lock(mutex);
    never.wait_for(lock, stopToken_, duration, [] { return false; });
    return !stopToken_.stop_requested();
}

void ClientConnection::Unread(std::string_view bytes) {
    pending_.insert(0, bytes);
}

ssize_t ClientConnection::Receive(void* buffer, size_t n) {
    timedOut_ = false;
    if (!pending_.empty() && n > 0) {
        size_t take = std::min(n, pending_.size());
        std::memcpy(buffer, pending_.data(), take);
        pending_.erase(0, take);
        return static_cast<ssize_t>(take);
    }
    using Clock = std::chrono::steady_clock;
    const bool bounded = timeoutSeconds_ > 0;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds_);
    for (;;) {
        int waitMs = -1;
        if (bounded) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd pfd{fd_, POLLIN, 0};
        int ready = ::poll(&pfd, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            lastError_ = errno;
            return -1;
        }
        if (ready == 0) {
            timedOut_ = true;
            return 0;
        }
        ssize_t got = ::recv(fd_, buffer, n, 0);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            lastError_ = errno;
            return -1;
        }
        return got;
    }
}

bool ClientConnection::Send(const void* data, size_t n) {
    const char* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < n) {
        ssize_t put = ::send(fd_, bytes + sent, n - sent, MSG_NOSIGNAL);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            lastError_ = errno;
            return false;
        }
        sent += static_cast<size_t>(put);
    }
    return true;
}

}  // namespace pg
