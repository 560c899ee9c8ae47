#pragma once

#include <cstdint>
#include <string>

namespace pg {

// Where a queue delivers: a printer of the print system (local) or a queue on another LPD host
// (remote).
struct QueueTarget {
    std::string destination;  // local: printer name; remote: queue name on the remote host
    std::string remoteHost;   // host name or dotted IPv4 address
    uint16_t remotePort = 0;
    bool isRemote = false;
    bool formFeedAtEndOfJob = true;
    int32_t maxJobMB = -1;  // the queue's own MaxJobMB; -1: the general one

    bool operator==(const QueueTarget&) const = default;
};

}  // namespace pg
