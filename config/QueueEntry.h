#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/ProfileFile.h"

namespace pg {

// One [Print Queues] entry: "name=destination,remote host,remote port,status text", plus the
// queue's own section with FormFeedAtEndOfJob and MaxJobMB.
struct QueueEntry {
    std::string name;
    std::string destination;
    std::string remoteHost;
    uint16_t remotePort = 0;
    bool isRemote = false;
    std::string statusText;
    bool formFeedAtEndOfJob = false;
    int32_t maxJobMB = -1;  // absent: -1, the general MaxJobMB applies
};

// Reads the whole of [Print Queues] in file order. Lines starting with ';' are skipped; a
// second field with a dot or a colon makes a remote queue, any other a local queue.
std::vector<QueueEntry> ReadQueueEntries(const ProfileFile& file);

// The value AddPrinter writes: "dest,,,status" for a local queue (empty remote host), else
// "dest,host,port,status".
std::string AddedEntryValue(const QueueEntry& entry);

// The value UpdatePrinter writes, with the status text made from the destination.
std::string UpdatedEntryValue(const QueueEntry& entry);

}  // namespace pg
