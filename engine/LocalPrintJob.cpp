#include "engine/LocalPrintJob.h"

#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"

namespace pg {

LocalPrintJob::LocalPrintJob(LPDPrinter& queue, JobEntry& job) : queue_(queue), job_(job) {}

// Placeholder until delivery lands: nothing is delivered.
bool LocalPrintJob::Run() {
    (void)queue_;
    (void)job_;
    return false;
}

}  // namespace pg
