#include "engine/PeerAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace pg {

PeerAddress PeerAddress::OfSocket(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        return PeerAddress();
    }
    return From(reinterpret_cast<const sockaddr*>(&storage), length);
}

PeerAddress PeerAddress::From(const sockaddr* address, socklen_t length) {
    PeerAddress peer;
    if (address == nullptr || length < static_cast<socklen_t>(sizeof(sa_family_t))) {
        return peer;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            auto& in = reinterpret_cast<sockaddr_in&>(peer.storage_);
            in.sin_family = AF_INET;
            in.sin_port = in6->sin6_port;
            std::memcpy(&in.sin_addr, in6->sin6_addr.s6_addr + 12, 4);
            return peer;
        }
    }
    std::memcpy(&peer.storage_, address,
                std::min(static_cast<size_t>(length), sizeof peer.storage_));
    return peer;
}

PeerAddress PeerAddress::Parse(const std::string& text, uint16_t port) {
    PeerAddress peer;
    if (text == "local") {
        peer.storage_.ss_family = AF_UNIX;
        return peer;
    }
    auto& in = reinterpret_cast<sockaddr_in&>(peer.storage_);
    if (::inet_pton(AF_INET, text.c_str(), &in.sin_addr) == 1) {
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        return peer;
    }
    auto& in6 = reinterpret_cast<sockaddr_in6&>(peer.storage_);
    if (::inet_pton(AF_INET6, text.c_str(), &in6.sin6_addr) == 1) {
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        return peer;
    }
    return PeerAddress();
}

uint16_t PeerAddress::Port() const {
    if (storage_.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(storage_).sin_port);
    }
    if (storage_.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(storage_).sin6_port);
    }
    return 0;
}

bool PeerAddress::FromPrivilegedPort() const {
    const uint16_t port = Port();
    return port != 0 && port < 1024;
}

std::string PeerAddress::Text() const {
    char buffer[INET6_ADDRSTRLEN] = {};
    if (storage_.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(storage_).sin_addr, buffer,
                    sizeof buffer);
        return buffer;
    }
    if (storage_.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(storage_).sin6_addr, buffer,
                    sizeof buffer);
        return buffer;
    }
    return storage_.ss_family == AF_UNIX ? "local" : "unknown";
}

bool PeerAddress::SameHost(const PeerAddress& other) const {
    if (storage_.ss_family != other.storage_.ss_family) {
        return false;
    }
    if (storage_.ss_family == AF_INET) {
        return std::memcmp(&reinterpret_cast<const sockaddr_in&>(storage_).sin_addr,
                           &reinterpret_cast<const sockaddr_in&>(other.storage_).sin_addr,
                           sizeof(in_addr)) == 0;
    }
    if (storage_.ss_family == AF_INET6) {
        return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(storage_).sin6_addr,
                           &reinterpret_cast<const sockaddr_in6&>(other.storage_).sin6_addr,
                           sizeof(in6_addr)) == 0;
    }
    return storage_.ss_family == AF_UNIX;
}

}  // namespace pg
