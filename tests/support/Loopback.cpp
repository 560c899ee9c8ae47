#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace pg::test {

namespace {

// A socket of from's family bound to from (and sourcePort) and connected to port on the
// loopback address of that family; invalid on failure (errno says why).
UniqueFd Connect(uint16_t port, const std::string& from, uint16_t sourcePort) {
    const bool v6 = from.find(':') != std::string::npos;
    sockaddr_storage source{}, target{};
    auto& s4 = reinterpret_cast<sockaddr_in&>(source);
    auto& t4 = reinterpret_cast<sockaddr_in&>(target);
    auto& s6 = reinterpret_cast<sockaddr_in6&>(source);
    auto& t6 = reinterpret_cast<sockaddr_in6&>(target);
    if (v6) {
        s6.sin6_family = t6.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, from.c_str(), &s6.sin6_addr);
        s6.sin6_port = htons(sourcePort);
        t6.sin6_addr = in6addr_loopback;
        t6.sin6_port = htons(port);
    } else {
        s4.sin_family = t4.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &s4.sin_addr);
        s4.sin_port = htons(sourcePort);
        t4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        t4.sin_port = htons(port);
    }
    const socklen_t length = v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    UniqueFd fd(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0));
    int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&source), length) != 0 ||
        ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&target), length) != 0) {
        return UniqueFd();
    }
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

uint16_t FreePort() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("bind to a free port failed");
    }
    return ntohs(address.sin_port);
}

LoopbackClient::LoopbackClient(uint16_t port, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!(fd_ = Connect(port, "127.0.0.1", 0))) {
        if (std::chrono::steady_clock::now() >= deadline) {
            throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port) + ": " +
                                     std::strerror(errno));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::runtime_error(std::string("send failed: ") + std::strerror(errno));
        }
        sent += static_cast<size_t>(n);
    }
}

std::string LoopbackClient::Receive(size_t n, std::chrono::milliseconds timeout) {
    pollfd pfd{fd_.Get(), POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0) {
        return {};
    }
    std::string buffer(n, '\0');
    ssize_t got = ::recv(fd_.Get(), buffer.data(), n, 0);
    buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return buffer;
}

std::string LoopbackClient::ReceiveExactly(size_t n, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string result;
    while (result.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        std::string piece = Receive(n - result.size(), left);
        if (piece.empty()) {
            break;
        }
        result += piece;
    }
    return result;
}

std::string LoopbackClient::ReceiveUntilClose(std::chrono::milliseconds timeout, bool* closed) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string result;
    if (closed) {
        *closed = false;
    }
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return result;
        }
        pollfd pfd{fd_.Get(), POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            return result;
        }
        char buffer[4096];
        ssize_t got = ::recv(fd_.Get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (closed) {
                *closed = true;
            }
            return result;
        }
        result.append(buffer, static_cast<size_t>(got));
    }
}

bool LoopbackClient::WaitForClose(std::chrono::milliseconds timeout) {
    bool closed = false;
    std::string extra = ReceiveUntilClose(timeout, &closed);
    return closed && extra.empty();
}

void LoopbackClient::ShutdownWrite() {
    ::shutdown(fd_.Get(), SHUT_WR);
}

bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace pg::test
