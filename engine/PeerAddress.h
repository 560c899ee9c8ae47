#pragma once

#include <cstdint>
#include <string>

namespace pg {

// Where a connection came from: the peer's IP address in text form ("192.0.2.7", "2001:db8::1";
// an IPv4 address mapped into IPv6 is shown as the IPv4 address) and its source port. Empty
// address and port 0 for a peer that has no IP address (one end of a socketpair).
struct PeerAddress {
    std::string address;
    uint16_t port = 0;

    // The peer of a connected socket (getpeername).
    static PeerAddress Of(int fd);
};

}  // namespace pg
