#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace pg {

// The kernel's id of the calling thread (what ps -L and /proc/PID/task show), as printed in
// "ThreadID(%u)" log lines.
inline uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(::syscall(SYS_gettid));
}

}  // namespace pg
