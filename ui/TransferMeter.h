#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>

namespace pg {

class JobEntry;

// A job's bytes on the wire as a progress cell shows them.
struct Transfer {
    bool active = false;  // being received or delivered right now
    uint64_t done = 0;
    uint64_t total = 0;  // 0 while unknown
    double bytesPerSecond = 0;

    // 0..100, or -1 while the total is unknown or nothing moves.
    int Percent() const;
    bool operator==(const Transfer&) const = default;
};

// Turns the engine's byte counters (a job's JobProgress), read on every refresh of a list,
// into transfers with a rate. The window only reads the atomic counters: the thread receiving
// or delivering the job never waits for it.
//
// Each refresh is one round: Sample() every job of interest, then EndRound(), which forgets
// the jobs that were not sampled (they ended or left the list).
class TransferMeter {
  public:
    using Clock = std::chrono::steady_clock;
    // A job as the lists follow it: its queue and its id in the queue's job store, which stay
    // when a reception puts a fuller entry in the place of the first one.
    // The queue's name and the job's store id; a job without an id: its entry.
    using JobKey = std::tuple<std::string, uint64_t, const void*>;

    static JobKey KeyOf(const JobEntry& job);

    Transfer Sample(const JobEntry& job, Clock::time_point now = Clock::now());
    void EndRound();

  private:
    struct Entry {
        Clock::time_point time;
        uint64_t done = 0;
        double bytesPerSecond = 0;
        bool seen = false;
    };
    std::map<JobKey, Entry> entries_;
};

}  // namespace pg
