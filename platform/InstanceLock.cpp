#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "log/ErrorText.h"

namespace pg {

namespace {

// $XDG_RUNTIME_DIR when it is an absolute path, else /tmp/pressgate-UID: made private to the
// user, and refused (so the open fails with its reason) when someone else owns it.
std::string LockDirectory(const std::string& directory) {
    if (!directory.empty()) {
        ::mkdir(directory.c_str(), 0700);
        return directory;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");  // NOLINT(concurrency-mt-unsafe)
    if (runtime != nullptr && runtime[0] == '/') {
        return runtime;
    }
    const std::string fallback = "/tmp/pressgate-" + std::to_string(::getuid());
    ::mkdir(fallback.c_str(), 0700);
    return fallback;
}

}  // namespace

InstanceLock::InstanceLock(const std::string& directory)
    : path_(LockDirectory(directory) + "/" + kName) {
    // O_NOFOLLOW: in a shared directory a planted symlink must not make us create or lock some
    // other file.
    UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) {
        error_ = errno;
        return;
    }
    // The lock belongs to this open file description: it goes when the descriptor is closed,
    // also when the process dies, so a crashed instance never blocks the next one.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        error_ = errno;
        char text[32] = {};
        const ssize_t got = ::pread(fd.Get(), text, sizeof text - 1, 0);
        holder_ = got > 0 ? static_cast<pid_t>(std::atol(text)) : 0;
        return;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd.Get(), 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd.Get(), pid.data(), pid.size(), 0);
    }
    fd_ = std::move(fd);
}

std::string InstanceLock::Message() const {
    if (Acquired()) {
        return std::string();
    }
    if (error_ == EWOULDBLOCK) {
        const std::string who =
            holder_ > 0 ? "process " + std::to_string(holder_) : std::string("another process");
        return "Sorry, only 1 Instance of Pressgate can run (" + who + " holds " + path_ + ")";
    }
    return "The instance lock " + path_ + " cannot be opened - last error(" + ErrorText(error_) +
           ")";
}

}  // namespace pg
