#include "ui/JobTexts.h"

#include "ui/TransferMeter.h"

namespace pg {

namespace {
constexpr uint64_t kMegabyte = 1024000;
}

QString JobSizeText(uint64_t bytes) {
    // QString::asprintf formats in the C locale, so the decimal point is always a point.
    if (bytes < kMegabyte) {
        return QString::asprintf("%0.1fK", static_cast<double>(bytes) / 1024.0);
    }
    return QString::asprintf("%0.1fM", static_cast<double>(bytes) / kMegabyte);
}

QString JobRefText(int32_t jobNo) {
    return QString::asprintf("#%03d", jobNo);
}

QString TransferText(const Transfer& transfer) {
    if (!transfer.active) {
        return {};
    }
    QString text = JobSizeText(transfer.done);
    if (transfer.total > 0) {
        text += " of " + JobSizeText(transfer.total);
    }
    if (transfer.bytesPerSecond > 0) {
        text += ", " + JobSizeText(static_cast<uint64_t>(transfer.bytesPerSecond)) + "/s";
    }
    return text;
}

}  // namespace pg
