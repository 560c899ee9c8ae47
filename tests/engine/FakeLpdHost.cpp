#include "tests/engine/FakeLpdHost.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace pg::test {

FakeLpdHost::FakeLpdHost(bool ipv6) {
    sockaddr_in6 address{};  // large enough for either family
    address.sin6_family = ipv6 ? AF_INET6 : AF_INET;
    if (ipv6) {
        address.sin6_addr = in6addr_loopback;
    } else {
        reinterpret_cast<sockaddr_in&>(address).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    socklen_t length = ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    auto* bound = reinterpret_cast<sockaddr*>(&address);
    listening_.Reset(::socket(address.sin6_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::bind(listening_.Get(), bound, length) != 0 || ::listen(listening_.Get(), 16) != 0 ||
        ::getsockname(listening_.Get(), bound, &length) != 0) {
        throw std::runtime_error("FakeLpdHost: cannot listen");
    }
    port_ = ntohs(address.sin6_port);  // where sin_port is too
}

bool FakeLpdHost::Accept(Connection& connection, std::chrono::milliseconds timeout) {
    pollfd p{listening_.Get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) {
        return false;
    }
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    connection = Connection();
    connection.fd.Reset(
        ::accept4(listening_.Get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
    connection.sourcePort =
        ntohs(peer.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(peer).sin6_port
                                         : reinterpret_cast<sockaddr_in&>(peer).sin_port);
    connection.acceptedAt = Clock::now();
    // A sender that stops talking fails the test instead of holding it.
    const timeval limit{20, 0};
    ::setsockopt(connection.fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return connection.fd.Valid();
}

void FakeLpdHost::Serve(Connection& connection, const std::vector<Reply>& replies) {
    for (const Reply reply : replies) {
        if (!ReadStep(connection) || reply == Reply::Hold) {
            return;
        }
        if (reply != Reply::Silence) {
            Send(connection, reply == Reply::Nack ? 1 : 0);
        }
        if (reply == Reply::AckAndReset) {
            const linger reset{1, 0};
            ::setsockopt(connection.fd.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            connection.fd.Reset();
            return;
        }
        if (reply != Reply::Ack) {
            Fill(connection, SIZE_MAX);  // only recorded
            return;
        }
    }
    while (ReadStep(connection)) {
        Send(connection, 0);
    }
}

void FakeLpdHost::Send(Connection& connection, char byte) {
    ::send(connection.fd.Get(), &byte, 1, MSG_NOSIGNAL);
}

bool FakeLpdHost::ReadStep(Connection& c) {
    // Every second step after the first is file contents, the others are lines.
    const bool contents = !c.steps.empty() && c.steps.size() % 2 == 0;
    if (!Fill(c, contents ? c.contentsSize + 1 : 0)) {
        return false;
    }
    const size_t end = contents ? c.contentsSize + 1 : c.pending.find('\n') + 1;
    std::string step = c.pending.substr(0, end);
    c.pending.erase(0, end);
    if (!c.steps.empty() && !contents) {
        if (step[0] != '\002' && step[0] != '\003') {
            Fill(c, SIZE_MAX);  // not a subcommand: only recorded
            return false;
        }
        c.contentsSize = std::strtoul(step.c_str() + 1, nullptr, 10);
    }
    c.steps.push_back(std::move(step));
    return true;
}

bool FakeLpdHost::Fill(Connection& c, size_t n) {
    while (n > 0 ? c.pending.size() < n : c.pending.find('\n') == std::string::npos) {
        char buffer[65536];
        const ssize_t got = ::recv(c.fd.Get(), buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            c.closedAt = Clock::now();
            ::shutdown(c.fd.Get(), SHUT_WR);  // a host closes when its client does
            return false;
        }
        c.pending.append(buffer, static_cast<size_t>(got));
        c.bytes.append(buffer, static_cast<size_t>(got));
    }
    return true;
}

}  // namespace pg::test
