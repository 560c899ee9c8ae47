#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

namespace pg {

// An address to connect to, of either family.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int Family() const { return storage.ss_family; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// Turns a remote queue's host and port into an address: a numeric IPv4 or IPv6 address (an
// IPv6 one may be written in brackets) is taken as it is, anything else is looked up through
// the system resolver, IPv4 and IPv6, taking its first answer. On failure error holds the
// resolver's code. The destination test and forwarding both use this.
bool ResolveHost(const std::string& host, uint16_t port, SocketAddress& address, int& error);

// Connects socket fd (of address's family) to address, waiting at most timeoutSeconds (0 = the
// system's own bound). False with errno in error.
bool ConnectSocket(int fd, const SocketAddress& address, int timeoutSeconds, int& error);

// The local host's official name and its first IPv4 address in dotted form, as the window and
// the daemon show them at start. On failure, failure is the operator's text: "gethostname()
// generated an error: ..." or "getaddrinfo() generated an error: ..." with the error's text.
bool LocalHostIdentity(std::string& name, std::string& address, std::string& failure);

}  // namespace pg
