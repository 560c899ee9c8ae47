#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdlib>

namespace pg {

namespace {

std::string LockDirectory(const std::string& directory) {
    if (!directory.empty()) {
        return directory;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
}

}  // namespace

InstanceLock::InstanceLock(const std::string& directory)
    : path_(LockDirectory(directory) + "/" + kName) {
    // O_NOFOLLOW: in a shared directory such as /tmp a planted symlink must not make us create
    // or lock some other file.
    UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        error_ = errno;
        return;
    }
    // The lock belongs to this open file description: it goes when the descriptor is closed,
    // also when the process dies, so a crashed instance never blocks the next one.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        error_ = errno;
        return;
    }
    fd_ = std::move(fd);
}

}  // namespace pg
