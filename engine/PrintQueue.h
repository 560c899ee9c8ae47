#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "engine/DeliveryOutcome.h"
#include "engine/JobEntry.h"
#include "engine/JobListReport.h"
#include "engine/QueueTarget.h"
#include "platform/Mutex.h"

namespace pg {

class ClientConnection;
class JobStore;
class PrinterHandle;
class RemovalRequest;
class SettingsBoard;
struct DaemonSettings;
struct GeneralSettings;

enum class QueueState : uint8_t {
    Initial = 1,
    Starting = 2,  // never entered; the name exists for completeness
    Running = 3,
    Pause = 4,
    Stop = 5,
    Close = 6,
    Error = 7,
};

// "Initial" ... "error", "unknown?" for any other value.
const char* QueueStateName(uint8_t state);

// One named print queue: its job list, its job store, its state and status text, and its
// printing thread, which delivers the oldest printable job.
//
// Jobs whose files are still arriving are listed (state spooling) but never delivered; a job
// waiting for its next try, or held, does not hold up the jobs behind it. The printing thread
// alone turns what a delivery reports (its outcome) into job and queue state, status texts,
// log lines and the retry schedule.
//
// Locks, in the order they are taken: controlMutex_ serialises starting and ending the printing
// thread (Activate, Stop, Pause, shutdown); openMutex_ guards opening the store; storeMutex_
// serialises the rewrites and removals of released jobs' manifests; mutex_ guards the job list,
// the state, the status text, the target and the thread's pause flag. A job's own mutex comes
// last.
class PrintQueue {
  public:
    enum class JobsAtShutdown { Keep, Discard };
    // Where a job of a reception stands in the list.
    enum class Placement { Done, Removed, Closed };
    // Told, on the printing thread, when the queue is held for the operator or a job is given
    // up: the queue's name and the reason.
    using AlertHandler =
        std::function<void(const std::string& queueName, const std::string& reason)>;

    explicit PrintQueue(std::string queueName);
    // Ends the printing thread, state close; the jobs stay in the store.
    ~PrintQueue();
    PrintQueue(const PrintQueue&) = delete;
    PrintQueue& operator=(const PrintQueue&) = delete;

    const std::string name;  // the name LPR clients use; also the spool subdirectory's name

    // --- state and settings ------------------------------------------------------------------
    QueueTarget Target() const;
    void SetTarget(const QueueTarget& target);
    std::string Destination() const;
    bool IsRemote() const;
    QueueState State() const;
    void SetState(QueueState state);
    std::string StatusText() const;
    void SetStatusText(std::string text);
    void GetStatus(std::string& stateName, uint32_t& jobCount, std::string& statusText) const;

    // Joins the queue to its daemon: where it reads the settings in force, and whom it tells of
    // holds and given-up jobs. A queue never attached reads the defaults and tells nobody.
    void Attach(std::shared_ptr<const SettingsBoard> settings, AlertHandler alert);
    // The settings in force now (each reception and delivery keeps the ones it started with).
    std::shared_ptr<const DaemonSettings> Settings() const;
    // The spool base directory in force, '/', the queue's name.
    std::string SpoolDirectory() const;
    // After a change of the settings: the store follows SyncSpool at once, and moves to a new
    // spool base directory when the queue holds no job and nothing is being received or
    // delivered. False when it could not move (it stays where it is until the next start).
    bool FollowSpoolSettings();

    // The queue is gone from the configuration: it takes no new job, delivers those it holds
    // and, once it holds none, closes, ends its printing thread and calls drained on it.
    void Retire(std::function<void()> drained);
    // Back in the configuration before it drained: a queue like any other again.
    void Unretire();
    bool Retiring() const;

    // --- job store ---------------------------------------------------------------------------
    // The queue's job store, opened on first use in the spool directory (with the spooler's
    // SyncSpool): the complete jobs found there are taken back, in arrival order and with
    // their hold, and everything else is removed.
    std::shared_ptr<JobStore> Store();
    // Opens the store in directory; nothing happens when it is open already.
    void OpenStore(const std::string& directory, bool sync);

    // --- printing thread ---------------------------------------------------------------------
    bool Activate();
    bool Stop();
    bool Pause();
    // Destruction's work, done at once even while other threads still hold the object: ends
    // the printing thread and sets state close. Undelivered jobs stay in the store for the next
    // start (Keep), or go with their files (Discard: the queue itself is deleted). Idempotent.
    void Shutdown(JobsAtShutdown jobs = JobsAtShutdown::Keep);
    // Wakes the printing thread (a job became printable, the list changed).
    void NotifyWork();
    bool HasPrintingThread() const;

    // --- jobs -------------------------------------------------------------------------------
    // Appends a job; false when the queue is closed.
    bool AddJob(std::shared_ptr<JobEntry> job);
    // Puts replacement in current's place (a reception's entry that learnt more, or became
    // printable); Removed when current is no longer listed.
    Placement ReplaceJob(const JobEntry* current, std::shared_ptr<JobEntry> replacement);
    Placement Locate(const JobEntry* job) const;
    // Takes a reception's entry off the list; its files are the reception's to remove.
    void DropJob(const JobEntry* job);
    // First job with that number and user (exactly) and, when host is not empty, that host.
    std::shared_ptr<JobEntry> FindJob(int32_t jobNo, const std::string& userName,
                                      const std::string& hostName) const;
    // The window's removals, without limits: the job FindJob finds, one job, every job.
    bool RemoveJob(int32_t jobNo, const std::string& userName, const std::string& hostName);
    bool RemoveJob(const JobEntry* job);
    bool RemoveJob();
    // A client's remove-jobs command: removes what the request names and permits; returns the
    // jobs it names but may not remove.
    std::vector<std::shared_ptr<JobEntry>> RemoveJobs(const RemovalRequest& request);
    // A copy of the job list, in arrival order.
    std::vector<std::shared_ptr<JobEntry>> Jobs() const;
    size_t JobCount() const;
    // Holds a job of this queue (JobEntry::Pause), or releases it (JobEntry::Resume) and has
    // it tried at once; a changed hold is written to the store. False as the job's calls give.
    bool HoldJob(JobEntry& job);
    bool ReleaseJob(JobEntry& job);
    // A job was paused or resumed: its hold is written to the store.
    void HoldChanged(JobEntry& job);

    // --- protocol ---------------------------------------------------------------------------
    // Serves one receive-job command on an accepted connection. False when it removed a job it
    // had begun.
    bool RecvJob(ClientConnection& connection);
    static void SendAck(ClientConnection& connection);
    static void SendNack(ClientConnection& connection);

    // The job-list reports: text cut to size - 1 bytes; returns the number of bytes to send.
    uint32_t ShortJobList(int32_t jobNo, char* buffer, uint32_t size);
    uint32_t ShortJobList(const char* userName, char* buffer, uint32_t size);
    uint32_t ShortJobList(char* buffer, uint32_t size);
    uint32_t LongJobList(int32_t jobNo, char* buffer, uint32_t size);
    uint32_t LongJobList(const char* userName, char* buffer, uint32_t size);
    uint32_t LongJobList(char* buffer, uint32_t size);

    uint32_t PrintingThreadId() const { return threadId_.load(); }

  private:
    class Control;
    using JobEntries = std::list<std::shared_ptr<JobEntry>>;

    void RunLPDPrinting(std::stop_token stopToken);
    // The oldest printable job, set printing; null when there is none (next: when the earliest
    // retry is due).
    std::shared_ptr<JobEntry> TakeNextJob(JobEntry::Clock::time_point& next) REQUIRES(mutex_);
    void Deliver(const std::shared_ptr<JobEntry>& job, uint32_t threadId);
    void ApplyOutcome(const std::shared_ptr<JobEntry>& job, const DeliveryOutcome& outcome,
                      const GeneralSettings& settings, uint32_t threadId);
    // Takes a delivered (or given up) job off the list and out of the store.
    void Finished(const std::shared_ptr<JobEntry>& job);
    void Alert(const std::string& reason);
    // One job-list report (JobListReport's format and selection) copied into buffer.
    uint32_t JobList(JobListReport::Format format, JobListReport::Select select, int32_t jobNo,
                     const char* userName, char* buffer, uint32_t size) const;
    void ApplyRemovalRule(JobEntries::iterator position,
                          std::vector<std::shared_ptr<JobEntry>>& removed) REQUIRES(mutex_);
    // Removes the files of jobs taken off the list (not those still being received).
    void ForgetJobs(const std::vector<std::shared_ptr<JobEntry>>& removed);
    void StopThread() REQUIRES(controlMutex_) EXCLUDES(mutex_);
    std::shared_ptr<JobStore> OpenedStore() const;

    std::atomic<uint32_t> threadId_{0};

    mutable Mutex controlMutex_ ACQUIRED_BEFORE(openMutex_);
    std::jthread thread_ GUARDED_BY(controlMutex_);
    bool shutDown_ GUARDED_BY(controlMutex_) = false;

    mutable Mutex openMutex_ ACQUIRED_BEFORE(storeMutex_);
    std::shared_ptr<JobStore> store_ GUARDED_BY(openMutex_);

    Mutex storeMutex_ ACQUIRED_BEFORE(mutex_);

    mutable Mutex mutex_;
    std::condition_variable_any wakeup_;
    QueueState state_ GUARDED_BY(mutex_) = QueueState::Initial;
    std::string statusText_ GUARDED_BY(mutex_);
    QueueTarget target_ GUARDED_BY(mutex_);
    JobEntries jobs_ GUARDED_BY(mutex_);
    bool closed_ GUARDED_BY(mutex_) = false;                   // shut down: lists nothing more
    const JobEntry* currentJob_ GUARDED_BY(mutex_) = nullptr;  // compared, never followed
    bool suspended_ GUARDED_BY(mutex_) = false;                // Pause(): the thread holds still
    bool workPending_ GUARDED_BY(mutex_) = false;              // NotifyWork() since the last pass
    bool failureShown_ GUARDED_BY(mutex_) = false;  // the status text tells of a failed delivery
    std::stop_token stopToken_ GUARDED_BY(mutex_);  // of the running printing thread
    int deliverySocket_ GUARDED_BY(mutex_) = -1;    // for Stop to shut down
    PrinterHandle* activePrinter_ GUARDED_BY(mutex_) = nullptr;  // for Stop to cancel
    std::shared_ptr<const SettingsBoard> board_ GUARDED_BY(mutex_);
    AlertHandler alert_ GUARDED_BY(mutex_);
    bool retiring_ GUARDED_BY(mutex_) = false;
    std::function<void()> drained_ GUARDED_BY(mutex_);  // Retire()'s, until called
};

}  // namespace pg
