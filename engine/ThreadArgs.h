#pragma once

#include <cstdint>

namespace pg {

class LPDSpooler;
class PrintQueue;

// The parameter block each engine thread gets: the listener, every connection thread and every
// printing thread. threadId is the kernel's id of the thread, filled in by the thread itself
// when it starts; its log lines print it as "ThreadID(%u)".
struct ThreadArgs {
    void* ownerWindow = nullptr;  // owner of the message boxes the thread shows
    int socket = -1;              // the accepted connection (connection threads)
    LPDSpooler* spooler = nullptr;
    PrintQueue* printer = nullptr;  // the queue served (printing threads)
    uint32_t threadId = 0;
};

}  // namespace pg
