#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/JobRecord.h"
#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg {

// The spool directory of one queue, owned by the server: every job gets an id the store
// chooses, its files are created under names made from that id ("<id>.cf" for the control file,
// "<id>.d1", "<id>.d2", ... for the data files in the order they arrived), and a job is complete
// exactly when its manifest "<id>.job" exists. The names a client sends are never used as paths
// or patterns: they are data in the manifest.
//
// Why it is built this way:
// - Files are created with O_EXCL and never opened for truncation, so no job can overwrite,
//   read or delete another job's files, whatever names its client sends.
// - The manifest is written last, to a temporary file that is renamed into place: after a crash
//   a job either has its whole manifest or none, and a job without one is incomplete and is
//   removed at the next start. With sync on, every file is fsync'ed once complete and the
//   manifest and the directory before the job counts as complete, so a job the client saw
//   acknowledged in full also survives a power cut.
// - Removal unlinks the manifest first: a removal cut short by a crash leaves an incomplete
//   job, which the next start removes, never a job that is printed again.
//
// The counters are guarded by the store's mutex; the file operations need no lock (each job's
// files are touched by one thread at a time: its reception, then its queue, which serialises
// rewrites and removals of a released job itself).
class JobStore {
  public:
    JobStore(std::string queueName, std::string directory, bool sync);
    JobStore(const JobStore&) = delete;
    JobStore& operator=(const JobStore&) = delete;

    // Start-up: makes the directory when it is missing, removes every file that is not part of
    // a complete job (each logged at level 1), and returns the complete jobs in arrival order.
    // Later ids and sequence numbers follow those found.
    std::vector<JobRecord> Recover();

    const std::string& Directory() const { return directory_; }
    bool Sync() const { return sync_.load(); }
    // SyncSpool changed: files completed from now on follow it.
    void SetSync(bool sync) { sync_.store(sync); }
    std::string PathOf(const std::string& storeName) const;

    // A fresh job id, never one of a job still in the store.
    uint64_t NewId();
    static std::string ControlName(uint64_t id);
    static std::string DataName(uint64_t id, uint32_t n);

    // Creates a job file for writing (O_CREAT | O_EXCL, mode 0600); invalid with errno in error
    // when the file exists or cannot be made.
    UniqueFd Create(const std::string& storeName, int& error) const;
    // A job file is written completely: with sync on it goes to the disk now.
    bool Settle(int fd, int& error) const;

    // Makes the job complete: gives it the next sequence number and its arrival time when it has
    // none yet, then writes its manifest. False (errno in error) when that fails; the job is then
    // still incomplete.
    bool Commit(JobRecord& record, int& error);
    // Rewrites a complete job's manifest (its held flag).
    bool Save(const JobRecord& record, int& error) const;
    // Removes a job: its manifest first, then the files named.
    void Remove(uint64_t id, const std::vector<std::string>& storeNames) const;
    // Removes files of a job that stays (data files its control file does not name).
    void RemoveFiles(const std::vector<std::string>& storeNames) const;
    // Every store name of a record, control file first.
    static std::vector<std::string> FileNames(const JobRecord& record);

    // The manifest text of a record, and back (false for anything but a whole manifest).
    static std::string ManifestText(const JobRecord& record);
    static bool ParseManifest(const std::string& text, JobRecord& record);

  private:
    bool WriteManifest(const JobRecord& record, int& error) const;
    bool SyncDirectory(int& error) const;

    const std::string queueName_;
    const std::string directory_;
    std::atomic<bool> sync_;

    Mutex mutex_;
    uint64_t nextId_ GUARDED_BY(mutex_) = 1;
    uint64_t nextSequence_ GUARDED_BY(mutex_) = 1;
};

}  // namespace pg
