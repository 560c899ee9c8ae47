#include "platform/BufferedPrinterHandle.h"

#include <algorithm>
#include <cstring>

namespace pg {

BufferedPrinterHandle::BufferedPrinterHandle() = default;

BufferedPrinterHandle::~BufferedPrinterHandle() = default;

bool BufferedPrinterHandle::Write(const void* data, size_t length, size_t& written) {
    const char* bytes = static_cast<const char*>(data);
    written = 0;
    while (written < length) {
        const size_t left = length - written;
        if (used_ == 0 && left >= kBufferSize) {
            int error = 0;
            const char* call = "";
            if (!Send(bytes + written, left, error, call)) {
                return Fail(error, call);
            }
            written = length;
            break;
        }
        if (!buffer_) {
            buffer_ = std::make_unique<char[]>(kBufferSize);
        }
        const size_t piece = std::min(kBufferSize - used_, left);
        std::memcpy(buffer_.get() + used_, bytes + written, piece);
        used_ += piece;
        written += piece;
        if (used_ == kBufferSize && !Flush()) {
            // The piece went down with the buffer: only what was sent before it counts.
            written -= piece;
            return false;
        }
    }
    return true;
}

bool BufferedPrinterHandle::Flush() {
    if (used_ == 0) {
        return true;
    }
    const size_t length = used_;
    used_ = 0;
    int error = 0;
    const char* call = "";
    if (!Send(buffer_.get(), length, error, call)) {
        return Fail(error, call);
    }
    return true;
}

bool BufferedPrinterHandle::Fail(int error, const char* call) {
    lastError_ = error;
    failedCall_ = call;
    return false;
}

}  // namespace pg
