#include "engine/HostAddress.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "log/ErrorText.h"

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

bool ResolveHost(const std::string& host, uint16_t port, SocketAddress& address, int& error) {
    error = 0;
    address = SocketAddress();
    std::string name = host;
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    if (name.empty()) {
        error = EAI_NONAME;
        return false;
    }
    // A dotted numeric IPv4 address keeps the classic reading (inet_aton: "10.1" is 10.0.0.1).
    if (IsDottedNumeric(name)) {
        auto& in = reinterpret_cast<sockaddr_in&>(address.storage);
        if (::inet_aton(name.c_str(), &in.sin_addr) == 0) {
            error = EINVAL;
            return false;
        }
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        address.length = sizeof(sockaddr_in);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* result = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(name.c_str(), service.c_str(), &hints, &result);
    if (rc != 0 || result == nullptr) {
        error = rc != 0 ? rc : EAI_NONAME;
        return false;
    }
    std::memcpy(&address.storage, result->ai_addr,
                std::min(static_cast<size_t>(result->ai_addrlen), sizeof address.storage));
    address.length = result->ai_addrlen;
    ::freeaddrinfo(result);
    return true;
}

bool ConnectSocket(int fd, const SocketAddress& address, int timeoutSeconds, int& error) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (timeoutSeconds > 0) {
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
    if (::connect(fd, address.Get(), address.length) != 0) {
        if (errno != EINPROGRESS || timeoutSeconds <= 0) {
            error = errno;
            return false;
        }
        pollfd pfd{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&pfd, 1, timeoutSeconds * 1000);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            error = ETIMEDOUT;
            return false;
        }
        int soError = 0;
        socklen_t length = sizeof soError;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
        if (ready < 0 || soError != 0) {
            error = ready < 0 ? errno : soError;
            return false;
        }
    }
    ::fcntl(fd, F_SETFL, flags);
    return true;
}

bool LocalHostIdentity(std::string& name, std::string& address, std::string& failure) {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        failure = "gethostname() generated an error: " + ErrorText(errno) + ".";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    const int code = ::getaddrinfo(host, nullptr, &hints, &result);
    if (code != 0 || result == nullptr) {
        failure = "getaddrinfo() generated an error: " + ResolverErrorText(code) + ".";
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
