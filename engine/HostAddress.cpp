#include "engine/HostAddress.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/UniqueFd.h"

namespace pg {

namespace {

bool IsDottedNumeric(const std::string& host) {
    if (host.empty()) {
        return false;
    }
    for (char c : host) {
        if (c != '.' && (c < '0' || c > '9')) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ResolveIPv4(const std::string& host, in_addr& address, int& error) {
    error = 0;
    if (IsDottedNumeric(host)) {
        if (::inet_aton(host.c_str(), &address) != 0) {
            return true;
        }
        error = EINVAL;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        error = rc != 0 ? rc : EAI_NONAME;
        return false;
    }
    address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return true;
}

int ConnectIPv4(const in_addr& address, uint16_t port, int timeoutSeconds, int& error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        error = errno;
        return -1;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr = address;
    if (timeoutSeconds <= 0) {
        if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
            error = errno;
            return -1;
        }
        return fd.Release();
    }
    int flags = ::fcntl(fd.Get(), F_GETFL);
    ::fcntl(fd.Get(), F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            return -1;
        }
        pollfd pfd{fd.Get(), POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&pfd, 1, timeoutSeconds * 1000);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            error = ETIMEDOUT;
            return -1;
        }
        int soError = 0;
        socklen_t length = sizeof soError;
        ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &soError, &length);
        if (ready < 0 || soError != 0) {
            error = ready < 0 ? errno : soError;
            return -1;
        }
    }
    ::fcntl(fd.Get(), F_SETFL, flags);
    return fd.Release();
}

bool LocalHostIdentity(std::string& name, std::string& address, std::string& failure) {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        failure = "gethostname() generated an error.";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &result) != 0 || result == nullptr) {
        failure = "gethostbyname() generated an error.";
        return false;
    }
    char dotted[64] = {};
    ::getnameinfo(result->ai_addr, result->ai_addrlen, dotted, sizeof dotted, nullptr, 0,
                  NI_NUMERICHOST);
    name = result->ai_canonname ? result->ai_canonname : host;
    address = dotted;
    ::freeaddrinfo(result);
    return true;
}

}  // namespace pg
