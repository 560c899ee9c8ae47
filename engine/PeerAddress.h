#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace pg {

// The address and port a connection comes from, as the access rules and the log lines see it.
// An IPv4-mapped IPv6 address (a client of the dual-stack listener speaking IPv4) is held as
// the IPv4 address; a local socket (a socketpair in tests) reads as "local".
class PeerAddress {
  public:
    PeerAddress() = default;  // unknown: family AF_UNSPEC
    // The peer of a connected socket.
    static PeerAddress OfSocket(int fd);
    static PeerAddress From(const sockaddr* address, socklen_t length);
    // The address Text() gave, with a port: how a job's origin is read back from the spool.
    // Text that is no address gives an unknown peer.
    static PeerAddress Parse(const std::string& text, uint16_t port);

    const sockaddr_storage& Storage() const { return storage_; }
    int Family() const { return storage_.ss_family; }
    uint16_t Port() const;
    // A source port below 1024, which only a privileged process can bind.
    bool FromPrivilegedPort() const;
    // "192.0.2.7", "2001:db8::1", "local" or "unknown".
    std::string Text() const;
    // The same host: equal addresses, whatever the ports.
    bool SameHost(const PeerAddress& other) const;

  private:
    sockaddr_storage storage_{};
};

}  // namespace pg
