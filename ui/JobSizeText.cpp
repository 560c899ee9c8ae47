#include "ui/JobSizeText.h"

namespace pg {

namespace {
constexpr uint32_t kMegabyte = 1024000;
}

QString JobSizeText(uint32_t bytes) {
    // QString::asprintf formats in the C locale, so the decimal point is always a point.
    if (bytes < kMegabyte) {
        return QString::asprintf("%0.1fK", static_cast<double>(bytes) / 1024.0);
    }
    return QString::asprintf("%0.1fM", static_cast<double>(bytes) / kMegabyte);
}

}  // namespace pg
