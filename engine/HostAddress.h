#pragma once

#include <netinet/in.h>

#include <string>

namespace pg {

// Turns a remote queue's host into an IPv4 address: a dotted numeric address is converted
// directly, anything else is looked up through the system resolver (IPv4 only). Both the
// destination test and forwarding use this, so they always agree. On failure error holds the
// resolver's code.
bool ResolveIPv4(const std::string& host, in_addr& address, int& error);

// Connects a new TCP socket to address:port, waiting at most timeoutSeconds (0 = the system's
// own bound). Returns the socket, or -1 with errno in error.
int ConnectIPv4(const in_addr& address, uint16_t port, int timeoutSeconds, int& error);

// The local host's official name and its first IPv4 address in dotted form, as the window and
// the daemon show them at start. On failure, failure is the operator's text: "gethostname()
// generated an error." or "gethostbyname() generated an error.".
bool LocalHostIdentity(std::string& name, std::string& address, std::string& failure);

}  // namespace pg
