#include "engine/ClientConnection.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>

#include "log/LogFile.h"
#include "platform/Mutex.h"

namespace pg {

namespace {

// The rate stretch when reads have no time-out.
constexpr int kUnboundedStretchSeconds = 10;

}  // namespace

ClientConnection::ClientConnection(int fd, int timeoutSeconds, int minBytesPerSecond)
    : fd_(fd),
      timeoutSeconds_(timeoutSeconds < 0 ? 0 : timeoutSeconds),
      minBytesPerSecond_(minBytesPerSecond < 0 ? 0 : minBytesPerSecond),
      peer_(PeerAddress::OfSocket(fd)) {}

bool ClientConnection::FastEnough(size_t bytes, std::chrono::steady_clock::duration waited) {
    if (minBytesPerSecond_ == 0) {
        return true;
    }
    stretchWaited_ += waited;
    stretchBytes_ += static_cast<int64_t>(bytes);
    const auto stretch =
        std::chrono::seconds(timeoutSeconds_ > 0 ? timeoutSeconds_ : kUnboundedStretchSeconds);
    if (stretchWaited_ < stretch) {
        return true;
    }
    const double seconds = std::chrono::duration<double>(stretchWaited_).count();
    const bool fastEnough = static_cast<double>(stretchBytes_) >= minBytesPerSecond_ * seconds;
    if (!fastEnough) {
        systemLog.Log(1,
                      "Socket(%u) : client %s sent %lld bytes in %.0f seconds, slower than "
                      "MinBytesPerSecond (%d): connection cut\n",
                      SocketNumber(), peer_.Text().c_str(), static_cast<long long>(stretchBytes_),
                      seconds, minBytesPerSecond_);
    }
    stretchWaited_ = {};
    stretchBytes_ = 0;
    return fastEnough;
}

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
    if (tooSlow_) {
        lastError_ = ETIMEDOUT;
        return -1;
    }
    if (!pending_.empty() && n > 0) {
        size_t take = std::min(n, pending_.size());
        std::memcpy(buffer, pending_.data(), take);
        pending_.erase(0, take);
        return static_cast<ssize_t>(take);
    }
    using Clock = std::chrono::steady_clock;
    const bool bounded = timeoutSeconds_ > 0;
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::seconds(timeoutSeconds_);
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
        if (!FastEnough(static_cast<size_t>(got), Clock::now() - started)) {
            tooSlow_ = true;
            lastError_ = ETIMEDOUT;
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
