#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/QueueTarget.h"

namespace pg {

class JobEntry;
class PrintSystem;

// One file as a delivery sends it: where it lies, and the name its client gave it.
struct DeliveryFile {
    std::string path;
    std::string clientName;
    uint64_t size = 0;
};

// Everything a delivery back-end needs for one job, copied when the delivery starts: the job
// (read only; its progress counters are updated), its files in the order they go out, where to,
// and the settings that shape the delivery.
struct DeliveryRequest {
    std::shared_ptr<JobEntry> job;
    DeliveryFile control;
    std::vector<DeliveryFile> data;  // in the order the control file names them
    std::string queueName;
    QueueTarget target;
    std::shared_ptr<PrintSystem> printSystem;  // local queues; null when none is configured
    int remoteCmdTimeout = 0;                  // seconds; 0 = replies are awaited without a bound
    int forwardChunkDelayMs = 0;               // pause after each forwarded chunk

    // The first of the job's files that is not there any more (null when all are): checked
    // before a delivery begins, so that a job that can never be delivered is given up before
    // anything of it reaches a printer or a remote host.
    const DeliveryFile* MissingFile(bool withControl) const;
};

}  // namespace pg
