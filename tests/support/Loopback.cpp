#include "tests/support/Loopback.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

namespace pg::test {

namespace {

using Clock = std::chrono::steady_clock;

// The numeric address host and port as a socket address.
std::unique_ptr<addrinfo, void (*)(addrinfo*)> Address(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        throw std::runtime_error("not a numeric address: " + host);
    }
    return {found, ::freeaddrinfo};
}

// A socket bound to from (and sourcePort) and connected to port on the loopback address of
// from's family; invalid on failure (errno says why).
UniqueFd Connect(uint16_t port, const std::string& from, uint16_t sourcePort) {
    const bool v6 = from.find(':') != std::string::npos;
    const auto source = Address(from, sourcePort);
    const auto target = Address(v6 ? "::1" : "127.0.0.1", port);
    UniqueFd fd(::socket(source->ai_family, SOCK_STREAM, 0));
    int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.Get(), source->ai_addr, source->ai_addrlen) != 0 ||
        ::connect(fd.Get(), target->ai_addr, target->ai_addrlen) != 0) {
        return UniqueFd();
    }
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

std::chrono::milliseconds Left(Clock::time_point deadline) {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

}  // namespace

uint16_t FreePort() {
    const auto any = Address("127.0.0.1", 0);
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::bind(fd.Get(), any->ai_addr, any->ai_addrlen) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("bind to a free port failed");
    }
    return ntohs(address.sin_port);
}

LoopbackClient::LoopbackClient(uint16_t port, std::chrono::milliseconds timeout) {
    if (!WaitUntil([&] { return (fd_ = Connect(port, "127.0.0.1", 0)).Valid(); }, timeout)) {
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
    }
}

LoopbackClient::LoopbackClient(uint16_t port, const std::string& from, uint16_t sourcePort)
    : fd_(Connect(port, from, sourcePort)) {
    if (!fd_) {
        throw std::runtime_error("cannot connect from " + from + " to port " +
                                 std::to_string(port) + ": " + std::strerror(errno));
    }
}

void LoopbackClient::Send(const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::runtime_error(std::string("send failed: ") + std::strerror(errno));
        }
        sent += static_cast<size_t>(n);
    }
}

std::string LoopbackClient::Receive(size_t n, std::chrono::milliseconds timeout) {
    return Read(n, Clock::now() + timeout, nullptr, true);
}

std::string LoopbackClient::ReceiveExactly(size_t n, std::chrono::milliseconds timeout) {
    return Read(n, Clock::now() + timeout, nullptr, false);
}

std::string LoopbackClient::ReceiveUntilClose(std::chrono::milliseconds timeout, bool* closed) {
    return Read(SIZE_MAX, Clock::now() + timeout, closed, false);
}

std::string LoopbackClient::Read(size_t n, Clock::time_point deadline, bool* closed, bool once) {
    std::string result;
    bool ended = false;
    while (result.size() < n && !ended) {
        pollfd pfd{fd_.Get(), POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(Left(deadline).count())) <= 0) {
            break;
        }
        char buffer[65536];
        const ssize_t got =
            ::recv(fd_.Get(), buffer, std::min(sizeof buffer, n - result.size()), 0);
        ended = got <= 0;
        result.append(buffer, ended ? 0 : static_cast<size_t>(got));
        if (once) {
            break;
        }
    }
    if (closed) {
        *closed = ended;
    }
    return result;
}

bool LoopbackClient::WaitForClose(std::chrono::milliseconds timeout) {
    bool closed = false;
    return ReceiveUntilClose(timeout, &closed).empty() && closed;
}

void LoopbackClient::ShutdownWrite() {
    ::shutdown(fd_.Get(), SHUT_WR);
}

bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!predicate()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace pg::test
