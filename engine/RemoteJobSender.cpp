#include "engine/RemoteJobSender.h"

#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"

namespace pg {

RemoteJobSender::RemoteJobSender(LPDPrinter& queue, JobEntry& job) : queue_(queue), job_(job) {}

// Placeholder until delivery lands: nothing is delivered.
bool RemoteJobSender::Run() {
    (void)queue_;
    (void)job_;
    return false;
}

}  // namespace pg
