#include "platform/FreeSpace.h"

#include <sys/statvfs.h>

#include <cerrno>

namespace pg {

bool QueryVolumeSpace(const std::string& path, VolumeSpace& space, int& error) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) {
        error = errno;
        return false;
    }
    space.bytesPerSector = vfs.f_frsize;
    space.sectorsPerCluster = 1;
    space.freeClusters = vfs.f_bavail;
    error = 0;
    return true;
}

}  // namespace pg
