#include "ui/TransferMeter.h"

#include "engine/JobEntry.h"

namespace pg {

namespace {

// Samples closer together than this keep the rate they had: the quotient would be noise.
constexpr auto kMinimumInterval = std::chrono::milliseconds(150);

}  // namespace

int Transfer::Percent() const {
    if (!active || total == 0) {
        return -1;
    }
    return done >= total ? 100 : static_cast<int>(done * 100 / total);
}

TransferMeter::JobKey TransferMeter::KeyOf(const JobEntry& job) {
    // A job without a store id (none is made so) is known by its entry.
    return job.record.id != 0 ? JobKey(job.queueName, job.record.id, nullptr)
                              : JobKey(std::string(), 0, &job);
}

Transfer TransferMeter::Sample(const JobEntry& job, Clock::time_point now) {
    Transfer transfer;
    const JobState state = job.State();
    transfer.active = state == JobState::Spooling || state == JobState::Printing;
    if (!transfer.active) {
        return transfer;
    }
    transfer.done = job.progress.bytesDone.load(std::memory_order_relaxed);
    transfer.total = job.progress.bytesTotal.load(std::memory_order_relaxed);

    auto [position, added] = entries_.try_emplace(KeyOf(job));
    Entry& entry = position->second;
    entry.seen = true;
    if (added || transfer.done < entry.done) {
        entry = Entry{now, transfer.done, 0, true};
    } else if (now - entry.time >= kMinimumInterval) {
        const double seconds = std::chrono::duration<double>(now - entry.time).count();
        const double latest = static_cast<double>(transfer.done - entry.done) / seconds;
        // Half the last interval, half what came before: steady, yet quick to follow a stall.
        entry.bytesPerSecond =
            entry.bytesPerSecond == 0 ? latest : (entry.bytesPerSecond + latest) / 2;
        entry.time = now;
        entry.done = transfer.done;
    }
    transfer.bytesPerSecond = entry.bytesPerSecond;
    return transfer;
}

void TransferMeter::EndRound() {
    for (auto position = entries_.begin(); position != entries_.end();) {
        if (position->second.seen) {
            position->second.seen = false;
            ++position;
        } else {
            position = entries_.erase(position);
        }
    }
}

}  // namespace pg
