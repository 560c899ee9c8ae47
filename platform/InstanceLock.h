#pragma once

#include <sys/types.h>

#include <string>

#include "platform/UniqueFd.h"

namespace pg {

// The single-instance lock "PressgateInstance": a file of that name in the given directory,
// else in the user's runtime directory ($XDG_RUNTIME_DIR, else a private /tmp/pressgate-UID),
// held with an exclusive flock for the life of the object. Both programs of one user take it,
// so only one of them runs at a time; other users, and the system daemon (which keeps its lock
// in /run/pressgate), have locks of their own. The holder writes its process id into the file.
class InstanceLock {
  public:
    static constexpr const char* kName = "PressgateInstance";

    // directory empty: the user's runtime directory. A missing directory is made (0700).
    explicit InstanceLock(const std::string& directory = "");
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock (no other instance runs).
    bool Acquired() const { return fd_.Valid(); }
    const std::string& Path() const { return path_; }
    // Why the lock was not acquired: EWOULDBLOCK while another instance holds it, otherwise
    // the errno of opening the file. 0 when acquired.
    int Error() const { return error_; }
    // The process id the holder wrote, 0 when unknown.
    pid_t Holder() const { return holder_; }
    // What keeps this process from running, for the operator: "Sorry, only 1 Instance of
    // Pressgate can run (process 123 holds /run/user/1000/PressgateInstance)", or why the
    // lock file cannot be used. Empty when acquired.
    std::string Message() const;

  private:
    std::string path_;
    UniqueFd fd_;
    int error_ = 0;
    pid_t holder_ = 0;
};

}  // namespace pg
