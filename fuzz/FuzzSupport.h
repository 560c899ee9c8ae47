#pragma once

// What the fuzz targets share: the check that ends a run, and a private directory for the run.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace pg::fuzz {

// Ends the run when condition does not hold, so that the input is kept as a finding.
inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// One fresh directory for the whole run, on a memory file system when there is one (the spool
// and the configuration end each write with fsync); it goes when the fuzzer exits.
inline const std::string& WorkDirectory() {
    static const std::string& directory = *[] {
        auto* path = new std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        *path += "/pgfuzz-XXXXXX";
        Check(::mkdtemp(path->data()) != nullptr);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(WorkDirectory(), ignored);
        });
        return path;
    }();
    return directory;
}

}  // namespace pg::fuzz
