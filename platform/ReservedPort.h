#pragma once

#include <sys/socket.h>

#include <string>

#include "platform/ServiceAccount.h"

namespace pg {

// The local ports an LPD client sends from, as remote hosts expect them (RFC 1179: 721..731).
constexpr int kFirstReservedPort = 721;
constexpr int kLastReservedPort = 731;

// Binds socket fd to address, whose port must be one of the reserved ports above. Once
// StartReservedPortHelper() has run, the helper process does it (the daemon itself may no
// longer bind ports below 1024); otherwise bind() is called here. 0, or the errno of the
// failure (EACCES when nobody may bind the port).
int BindReservedPort(int fd, const sockaddr* address, socklen_t length);

// Forks the helper: a process that serves as account with nothing but the right to bind ports
// below 1024 (CAP_NET_BIND_SERVICE), binds the sockets this process hands it to reserved
// ports and does nothing else; it ends with this process. Call it as root before any thread
// exists. False with the reason in failure.
bool StartReservedPortHelper(const ServiceAccount& account, std::string& failure);

}  // namespace pg
