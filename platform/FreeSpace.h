#pragma once

#include <cstdint>
#include <string>

namespace pg {

// The free space of the volume that holds a path, in the clusters-and-sectors terms the spool
// check reasons in (statvfs: a "sector" is the fragment size, one sector per cluster).
struct VolumeSpace {
    uint64_t bytesPerSector = 0;
    uint64_t sectorsPerCluster = 0;
    uint64_t freeClusters = 0;  // available to an unprivileged user
};

// False with errno in error when the volume cannot be queried.
bool QueryVolumeSpace(const std::string& path, VolumeSpace& space, int& error);

}  // namespace pg
