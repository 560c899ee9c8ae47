#include "engine/DeliveryRequest.h"

#include <sys/stat.h>

namespace pg {

const DeliveryFile* DeliveryRequest::MissingFile(bool withControl) const {
    struct stat info {};
    if (withControl && ::lstat(control.path.c_str(), &info) != 0) {
        return &control;
    }
    for (const DeliveryFile& file : data) {
        if (::lstat(file.path.c_str(), &info) != 0) {
            return &file;
        }
    }
    return nullptr;
}

}  // namespace pg
