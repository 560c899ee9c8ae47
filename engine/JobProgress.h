#pragma once

#include <atomic>
#include <cstdint>

namespace pg {

// How far the reception or the delivery of a job has come, for the window's progress display.
// Updated by the thread doing the work once per block (never per byte) and read by anyone
// without a lock: the two counters are independent, so a reader may see a total from one
// moment and a count from the next, which a progress bar can live with.
struct JobProgress {
    std::atomic<uint64_t> bytesDone{0};
    std::atomic<uint64_t> bytesTotal{0};  // 0 = unknown (a file that ends at the client's close)

    void Start(uint64_t total) {
        bytesDone.store(0, std::memory_order_relaxed);
        bytesTotal.store(total, std::memory_order_relaxed);
    }
    void Add(uint64_t bytes) { bytesDone.fetch_add(bytes, std::memory_order_relaxed); }
    void CopyFrom(const JobProgress& other) {
        bytesDone.store(other.bytesDone.load(std::memory_order_relaxed), std::memory_order_relaxed);
        bytesTotal.store(other.bytesTotal.load(std::memory_order_relaxed),
                         std::memory_order_relaxed);
    }
};

}  // namespace pg
