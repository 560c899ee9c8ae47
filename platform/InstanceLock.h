#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace pg {

// The system-wide single-instance lock "PressgateInstance": a file of that name in the given
// directory, else $XDG_RUNTIME_DIR, else /tmp, held with an exclusive flock for the life of the
// object. Both programs take it, so only one of them runs at a time.
class InstanceLock {
  public:
    static constexpr const char* kName = "PressgateInstance";

    // directory empty: $XDG_RUNTIME_DIR, else /tmp.
    explicit InstanceLock(const std::string& directory = "");
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock (no other instance runs).
    bool Acquired() const { return fd_.Valid(); }
    const std::string& Path() const { return path_; }
    // Why the lock was not acquired: EWOULDBLOCK while another instance holds it, otherwise
    // the errno of opening the file. 0 when acquired.
    int Error() const { return error_; }

  private:
    std::string path_;
    UniqueFd fd_;
    int error_ = 0;
};

}  // namespace pg
