#include "tests/engine/FakeLpdHost.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace pg::test {

FakeLpdHost::FakeLpdHost() {
    listening_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!listening_ ||
        ::bind(listening_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening_.Get(), 16) != 0 ||
        ::getsockname(listening_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("FakeLpdHost: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FakeLpdHost::~FakeLpdHost() {
    {
        MutexLock lock(mutex_);
        ending_ = true;
        if (current_ >= 0) {
            ::shutdown(current_, SHUT_RDWR);
        }
    }
    changed_.notify_all();
    ::shutdown(listening_.Get(), SHUT_RDWR);  // ends the accept
    thread_.join();
}

void FakeLpdHost::SetReplies(std::vector<Reply> steps, Reply otherwise) {
    MutexLock lock(mutex_);
    replies_ = std::move(steps);
    otherwise_ = otherwise;
}

void FakeLpdHost::Release() {
    {
        MutexLock lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

std::vector<FakeLpdHost::Connection> FakeLpdHost::Connections() const {
    MutexLock lock(mutex_);
    return connections_;
}

size_t FakeLpdHost::ConnectionCount() const {
    MutexLock lock(mutex_);
    return connections_.size();
}

bool FakeLpdHost::WaitForConnections(size_t count, std::chrono::milliseconds timeout) const {
    MutexLock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&]() REQUIRES(mutex_) { return connections_.size() >= count; });
}

bool FakeLpdHost::WaitForClosed(size_t connection, std::chrono::milliseconds timeout) const {
    MutexLock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&]() REQUIRES(mutex_) {
        return connections_.size() > connection && connections_[connection].closed;
    });
}

bool FakeLpdHost::WaitForHold(std::chrono::milliseconds timeout) const {
    MutexLock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this]() REQUIRES(mutex_) { return holding_; });
}

FakeLpdHost::Reply FakeLpdHost::ReplyFor(size_t step) const {
    MutexLock lock(mutex_);
    return step < replies_.size() ? replies_[step] : otherwise_;
}

void FakeLpdHost::Serve() {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        UniqueFd fd(
            ::accept4(listening_.Get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
        {
            MutexLock lock(mutex_);
            if (ending_) {
                return;
            }
            if (!fd) {
                if (errno == EINTR || errno == ECONNABORTED) {
                    continue;
                }
                return;
            }
            Connection connection;
            connection.sourcePort = ntohs(peer.sin_port);
            connection.acceptedAt = std::chrono::steady_clock::now();
            connections_.push_back(std::move(connection));
            current_ = fd.Get();
        }
        changed_.notify_all();
        ServeConnection(fd.Get());
        {
            MutexLock lock(mutex_);
            current_ = -1;
            connections_.back().closed = true;
            connections_.back().closedAt = std::chrono::steady_clock::now();
        }
        changed_.notify_all();
    }
}

void FakeLpdHost::ServeConnection(int fd) {
    std::string pending;
    size_t step = 0;
    size_t contentsSize = 0;  // bytes of the file announced by the last subcommand
    for (;;) {
        // Even steps after the first are file contents, the others lines.
        const bool contents = step > 0 && step % 2 == 0;
        if (!Fill(fd, contents ? contentsSize + 1 : 0, pending)) {
            return;
        }
        const size_t end = contents ? contentsSize + 1 : pending.find('\n') + 1;
        std::string bytes = pending.substr(0, end);
        pending.erase(0, end);
        if (step > 0 && !contents) {
            if (bytes[0] != '\002' && bytes[0] != '\003') {
                Drain(fd);  // not a subcommand: only recorded
                return;
            }
            contentsSize = std::strtoul(bytes.c_str() + 1, nullptr, 10);
        }
        StepDone(std::move(bytes));

        Reply reply = ReplyFor(step++);
        if (reply == Reply::Hold) {
            MutexLock lock(mutex_);
            holding_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this]() REQUIRES(mutex_) { return released_ || ending_; });
            holding_ = false;
            reply = Reply::Ack;
        }
        const char ack = 0, nack = 1;
        switch (reply) {
            case Reply::Ack:
            case Reply::Hold:
                ::send(fd, &ack, 1, MSG_NOSIGNAL);
                break;
            case Reply::Nack:
                ::send(fd, &nack, 1, MSG_NOSIGNAL);
                Drain(fd);
                return;
            case Reply::Silence:
                Drain(fd);
                return;
            case Reply::Close:
                return;
            case Reply::AckAndReset: {
                ::send(fd, &ack, 1, MSG_NOSIGNAL);
                const linger reset{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                return;
            }
        }
    }
}

bool FakeLpdHost::Fill(int fd, size_t n, std::string& pending) {
    for (;;) {
        if (n > 0 ? pending.size() >= n : pending.find('\n') != std::string::npos) {
            return true;
        }
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        pending.append(buffer, static_cast<size_t>(got));
        Record(std::string(buffer, static_cast<size_t>(got)));
    }
}

void FakeLpdHost::Record(const std::string& bytes) {
    {
        MutexLock lock(mutex_);
        connections_.back().bytes += bytes;
    }
    changed_.notify_all();
}

void FakeLpdHost::StepDone(std::string step) {
    {
        MutexLock lock(mutex_);
        connections_.back().steps.push_back(std::move(step));
        connections_.back().stepTimes.push_back(std::chrono::steady_clock::now());
    }
    changed_.notify_all();
}

void FakeLpdHost::Drain(int fd) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        Record(std::string(buffer, static_cast<size_t>(got)));
    }
}

}  // namespace pg::test
