#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/PeerAddress.h"

namespace pg {

// One file of a job in the job store: the name the store gave it (the only name ever used as a
// path) and the name the client gave it (kept as data: reports and forwarding show and send it
// as it came).
struct StoredFile {
    std::string storeName;   // "<id>.cf", "<id>.d<n>"
    std::string clientName;  // as received, at most 255 bytes, any bytes but white space
    uint64_t size = 0;
};

// What the job store keeps about a complete job besides its files' contents: written last, as
// the job's manifest, its presence is what makes the job complete.
struct JobRecord {
    uint64_t id = 0;               // chosen by the store, unique in the queue while the job exists
    uint64_t sequence = 0;         // arrival order among the queue's complete jobs
    int64_t arrivalTime = 0;       // seconds since the epoch at which the job became complete
    std::string timeDate;          // "HH:MM:SS MM/DD/YY", local time at which reception began
    bool held = false;             // paused by the operator: not delivered until resumed
    PeerAddress origin;            // the connection that brought the job
    StoredFile control;            // the control file
    std::vector<StoredFile> data;  // the data files the control file names, in its order

    uint64_t TotalSize() const {
        uint64_t total = control.size;
        for (const StoredFile& file : data) {
            total += file.size;
        }
        return total;
    }
};

}  // namespace pg
