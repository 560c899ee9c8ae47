#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/JobProgress.h"
#include "engine/JobRecord.h"
#include "platform/Mutex.h"

namespace pg {

class PrintQueue;

enum class JobState : uint8_t {
    Spooling = 1,  // its files are still arriving: invisible to the printing thread
    Waiting = 2,   // complete and ready for delivery (or waiting for its next try)
    Printing = 3,  // being delivered by the printing thread
    Pause = 4,     // held by Pause()
    Stop = 5,      // removal asked for while it was delivered
    Close = 6,     // no operation sets it
    Error = 7,     // no operation sets it any more; Resume() still takes a job out of it
};

// "spooling" ... "error", "unknown?" for any other value.
const char* JobStateName(uint8_t state);

// One print job in a queue: what its control file says, where its files are in the queue's job
// store (record), its state and status text, and the progress of its reception or delivery.
//
// The descriptive fields are filled in before the entry joins its queue and never change
// afterwards, so any thread may read them; a reception that learns more about its job puts a
// new entry in the old one's place. The state, the status text and the retry schedule change
// while the job is shared; they are guarded by the job's own mutex (taken after the queue's when
// both are needed). The progress counters are atomic.
class JobEntry {
  public:
    using Clock = std::chrono::steady_clock;

    JobEntry();
    ~JobEntry();
    JobEntry(const JobEntry&) = delete;
    JobEntry& operator=(const JobEntry&) = delete;

    // What the client said, kept as data.
    int32_t jobNo = 0;       // the digits of the control file's name
    int32_t listValue = 0;   // 5 for every received job; shown by the long job list
    std::string userName;    // P
    std::string hostName;    // H
    std::string timeDate;    // "HH:MM:SS MM/DD/YY" at which reception began
    std::string jobName;     // J
    std::string nameSuffix;  // the control file's name after its digits (the host part)
    std::string className;   // C
    std::string bannerUser;  // L
    std::string mailUser;    // M
    std::string title;       // T
    // Names a printed document is given, each a whole line's text (at most 255 bytes), blanks
    // kept: the J line, and the first N line (the name of the file the client printed).
    std::string wholeJobName;
    std::string sourceFileName;
    bool printBanner = false;  // an L line while banners were not suppressed
    std::string queueName;     // the queue's name, copied when the job is made

    // Where the job's files are in its queue's store, and where it came from.
    JobRecord record;
    JobProgress progress;

    // The entry of a job of the store: the fields from its control file's text and the job
    // number and host part from the name its client gave the control file.
    static std::shared_ptr<JobEntry> Make(const JobRecord& record, std::string_view controlText,
                                          bool suppressBanner);
    // Reads a control file's text (its first 4096 bytes) into the fields above.
    void ReadControlFile(std::string_view text, bool suppressBanner);
    // The data files a control file names for printing (lines c d f g k l n o p r t v z), in the
    // order it names them, each once: the first word of each such line, at most 255 bytes.
    static std::vector<std::string> PrintedFiles(std::string_view text);

    // Hold and release the job itself (its queue's HoldJob and ReleaseJob also write the hold to
    // the store and wake the printing thread). False when the job's state does not allow it;
    // changed tells whether the hold changed.
    bool Pause(bool* changed = nullptr);
    bool Resume(bool* changed = nullptr);
    void StateName(std::string& name) const;
    // Sum of the sizes of the job's files (control file included), low 32 bits each.
    uint32_t TotalSize() const;

    JobState State() const;
    void SetState(JobState state);
    // Sets the state only when it is `from` now; true when it was.
    bool ChangeState(JobState from, JobState to);
    std::string StatusText() const;
    void SetStatusText(std::string text);

    // The retry schedule of a job whose delivery failed (printing thread).
    Clock::time_point RetryAt() const;
    uint32_t Failures() const;
    // Counts a failure and sets the next try; returns the number of failures so far.
    uint32_t ScheduleRetry(Clock::time_point at);

  private:
    mutable Mutex mutex_;
    JobState state_ GUARDED_BY(mutex_) = JobState::Spooling;
    std::string statusText_ GUARDED_BY(mutex_);
    Clock::time_point retryAt_ GUARDED_BY(mutex_);
    uint32_t failures_ GUARDED_BY(mutex_) = 0;
};

}  // namespace pg
