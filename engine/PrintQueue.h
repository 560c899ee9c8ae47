#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/JobListReport.h"
#include "platform/Mutex.h"

namespace pg {

class LPDSpooler;
class ClientConnection;
class PrinterHandle;

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

// Where a queue delivers: a printer of the print system (local) or a queue on another LPD host
// (remote).
struct QueueTarget {
    std::string destination;  // local: printer name; remote: queue name on the remote host
    std::string remoteHost;   // host name or dotted IPv4 address
    uint16_t remotePort = 0;
    bool isRemote = false;
    bool formFeedAtEndOfJob = true;
};

// One named print queue: its job list, its state and status text, and its printing thread,
// which delivers the job at the head of the list.
//
// Locks: mutex_ guards the job list, the state, the status text, the target and the thread's
// pause flag; controlMutex_ serialises starting and ending the printing thread (Activate, Stop,
// Pause, shutdown) and is taken before mutex_. A job's own mutex comes after both.
class PrintQueue {
  public:
    explicit PrintQueue(std::string queueName);
    // Ends the printing thread, state close, destroys the jobs.
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

    void SetSpooler(LPDSpooler* spooler) { spooler_.store(spooler); }
    LPDSpooler* Spooler() const { return spooler_.load(); }
    // The spool base directory, '/', the queue's name.
    std::string SpoolDirectory() const;

    // --- printing thread ---------------------------------------------------------------------
    bool Activate();
    bool Stop();
    bool Pause();
    // Destruction's work, done at once even while other threads still hold the object: ends
    // the printing thread, sets state close and destroys every job. Idempotent.
    void Shutdown();
    // Wakes the printing thread's one-second wait (a job became waiting, the head changed).
    void NotifyWork();
    bool HasPrintingThread() const;

    // --- jobs -------------------------------------------------------------------------------
    bool AddJob(std::shared_ptr<JobEntry> job);
    // First job with that number and user (exactly) and, when host is not empty, that host.
    std::shared_ptr<JobEntry> FindJob(int32_t jobNo, const std::string& userName,
                                      const std::string& hostName) const;
    bool RemoveJob(int32_t jobNo, const std::string& userName, const std::string& hostName);
    bool RemoveJob(const std::string& userName, const std::string& hostName);
    bool RemoveJob(const JobEntry* job);
    bool RemoveJob();
    // A copy of the job list, head first.
    std::vector<std::shared_ptr<JobEntry>> Jobs() const;
    size_t JobCount() const;
    // A job of this queue that was spooling became waiting: sets it and wakes the thread.
    void JobReceived(JobEntry& job);

    // --- protocol ---------------------------------------------------------------------------
    // Serves one receive-job command on an accepted connection. False when it removed a failed
    // job from the queue.
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

    // --- delivery (printing thread only) -------------------------------------------------------
    bool PrinterInitialisation();
    void PrinterClose();
    bool PrintFile(JobEntry& job);
    // The printer opened by PrinterInitialisation(), null when closed.
    PrinterHandle* OpenPrinter() const { return printerHandle_.get(); }
    bool SendJob(JobEntry& job);

    // Called by delivery between blocks: waits while the queue is paused by Pause(); false when
    // the printing thread is asked to end (delivery must then stop at once).
    bool DeliveryCheckpoint();
    // True when the printing thread is asked to end.
    bool StopRequested() const;
    // Waits up to ms milliseconds, returning early (false) only when the thread is asked to end.
    bool DeliverySleep(int ms);
    uint32_t PrintingThreadId() const { return threadId_.load(); }
    // The socket forwarding is using, -1 when none. Stop and destruction shut it down so a
    // blocked connect, send or receive ends at once. Clear it before closing the socket.
    void SetDeliverySocket(int fd);

  private:
    void RunLPDPrinting(std::stop_token stopToken);
    // One job-list report (JobListReport's format and selection) copied into buffer.
    uint32_t JobList(JobListReport::Format format, JobListReport::Select select, int32_t jobNo,
                     const char* userName, char* buffer, uint32_t size) const;
    void ApplyRemovalRule(std::list<std::shared_ptr<JobEntry>>::iterator position,
                          std::vector<std::shared_ptr<JobEntry>>& destroyed) REQUIRES(mutex_);
    void StopThread() REQUIRES(controlMutex_) EXCLUDES(mutex_);

    std::atomic<LPDSpooler*> spooler_{nullptr};
    std::atomic<uint32_t> threadId_{0};

    mutable Mutex controlMutex_ ACQUIRED_BEFORE(mutex_);
    std::jthread thread_ GUARDED_BY(controlMutex_);
    bool shutDown_ GUARDED_BY(controlMutex_) = false;

    mutable Mutex mutex_;
    std::condition_variable_any wakeup_;
    QueueState state_ GUARDED_BY(mutex_) = QueueState::Initial;
    std::string statusText_ GUARDED_BY(mutex_);
    QueueTarget target_ GUARDED_BY(mutex_);
    std::list<std::shared_ptr<JobEntry>> jobs_ GUARDED_BY(mutex_);
    const JobEntry* currentJob_ GUARDED_BY(mutex_) = nullptr;  // compared, never followed
    bool suspended_ GUARDED_BY(mutex_) = false;                // Pause(): the thread holds still
    bool workPending_ GUARDED_BY(mutex_) = false;              // NotifyWork() since the last pass
    std::stop_token stopToken_ GUARDED_BY(mutex_);             // of the running printing thread
    int deliverySocket_ GUARDED_BY(mutex_) = -1;
    PrinterHandle* activePrinter_ GUARDED_BY(mutex_) =
        nullptr;  // printerHandle_, for Stop  // see SetDeliverySocket()

    std::unique_ptr<PrinterHandle> printerHandle_;  // printing thread only
};

}  // namespace pg
