#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Mutex.h"

namespace pg {

class PrintQueue;

enum class JobState : uint8_t {
    Spooling = 1,  // created while data files are still expected
    Waiting = 2,   // ready for delivery
    Printing = 3,  // being delivered by the printing thread
    Pause = 4,     // held by Pause()
    Stop = 5,      // delivered, or removal asked for while it was delivered
    Close = 6,     // no operation sets it
    Error = 7,     // forwarding found none of its files
};

// "spooling" ... "error", "unknown?" for any other value.
const char* JobStateName(uint8_t state);

// One spool file of a job: its name in the queue's spool directory and its size.
struct SpoolFile {
    std::string name;
    uint64_t size = 0;
};

// One print job in a queue: what its control file says, its state and status text, and what
// finds its spool files again (the job file pattern built from the control file's name).
//
// The fields that describe the job are filled in by reception before the job is added to its
// queue and never change afterwards, so any thread may read them. Only the state and the status
// text change while the job is shared; they are guarded by the job's own mutex (taken after the
// queue's when both are needed).
class JobEntry {
  public:
    JobEntry();
    // Logs, and deletes the job's spool files when its control file held a U line.
    ~JobEntry();
    JobEntry(const JobEntry&) = delete;
    JobEntry& operator=(const JobEntry&) = delete;

    // Fixed once the job is in its queue.
    int32_t jobNo = 0;            // the digits of the control file's name
    int32_t listValue = 0;        // 5 for every received job; shown by the long job list
    std::string userName;         // P
    std::string hostName;         // H
    std::string timeDate;         // "HH:MM:SS MM/DD/YY" at creation
    std::string jobName;          // J
    std::string nameSuffix;       // the control file's name after its digits (the host part)
    std::string className;        // C
    std::string bannerUser;       // L
    std::string mailUser;         // M
    std::string title;            // T
    bool unlinkFiles = false;     // a U line: the spool files go with the entry
    int32_t prefixLength = 0;     // characters of the control file's name before its digits
    int32_t digitCount = 0;       // digits of the job number in the control file's name
    bool printBanner = false;     // an L line while banners were not suppressed
    PrintQueue* queue = nullptr;  // the owning queue; compared and notified, never owned
    std::string queueName;        // the queue's name, copied when the job is made
    std::string spoolDirectory;   // the queue's spool directory, copied when the job is made

    // True while the connection that brought the job is still receiving its files. A job whose
    // control file came first is waiting once its first data file is in, but the printing
    // thread leaves it alone until the reception has ended, so it is never printed or forwarded
    // with only some of its data files.
    std::atomic<bool> receiving{false};

    // Reads a control file's text (the first 4096 bytes of the spool file) into the fields.
    void ReadControlFile(std::string_view text, bool suppressBanner);

    bool Pause();
    bool Resume();
    void StateName(std::string& name) const;
    // Sum of the sizes of every file of the job (control file included), low 32 bits each;
    // 0 and a status text when none is found.
    uint32_t TotalSize();

    // The job file pattern's file-name part, '?' matching one character: "???123host" for
    // cfA123host. With dataOnly, the first character is 'd' ("d??123host").
    std::string FilePattern(bool dataOnly = false) const;
    // The spool files that match the pattern, in directory order.
    std::vector<SpoolFile> SpoolFiles(bool dataOnly = false) const;

    JobState State() const;
    void SetState(JobState state);
    // Sets the state only when it is `from` now; true when it was.
    bool ChangeState(JobState from, JobState to);
    std::string StatusText() const;
    void SetStatusText(std::string text);

  private:
    mutable Mutex mutex_;
    JobState state_ GUARDED_BY(mutex_) = JobState::Spooling;
    std::string statusText_ GUARDED_BY(mutex_);
};

}  // namespace pg
