#include "engine/TextTreatment.h"

#include <algorithm>
#include <cstring>

namespace pg {

namespace {

constexpr unsigned char kEscape = 27;
constexpr unsigned char kHighestText = 126;

}  // namespace

void TextTreatment::Classify(std::string_view firstBlock) {
    const size_t end = std::min(firstBlock.size(), kClassifiedBytes);
    for (size_t i = 0; i < end; ++i) {
        const auto byte = static_cast<unsigned char>(firstBlock[i]);
        if (byte > kHighestText || byte == kEscape) {
            binary_ = true;
            return;
        }
        if (byte == '\r' && i + 1 < firstBlock.size() && firstBlock[i + 1] == '\n') {
            crLf_ = true;
            ++i;
        } else if (byte == '\n') {
            lf_ = true;
        }
    }
}

TextTreatment::Rendering TextTreatment::Choice() const {
    if (binary_ || crLf_) {
        return Rendering::Unchanged;
    }
    return lf_ ? Rendering::LfToCrLf : Rendering::Wrapped;
}

void TextTreatment::Render(std::string_view block, std::string& out) const {
    switch (Choice()) {
        case Rendering::Unchanged:
            out.append(block);
            return;
        case Rendering::LfToCrLf: {
            // Runs between line feeds are copied whole; each LF starts the next run after the
            // CR put in front of it.
            const char* data = block.data();
            const char* const end = data + block.size();
            while (data < end) {
                const void* found = std::memchr(data, '\n', static_cast<size_t>(end - data));
                if (found == nullptr) {
                    out.append(data, end);
                    return;
                }
                const char* lf = static_cast<const char*>(found);
                out.append(data, lf);
                out += "\r\n";
                data = lf + 1;
            }
            return;
        }
        case Rendering::Wrapped: {
            size_t at = 0;
            while (block.size() - at > kLineWidth) {
                out.append(block.substr(at, kLineWidth));
                out += "\r\n";
                at += kLineWidth;
            }
            out.append(block.substr(at));
            return;
        }
    }
}

}  // namespace pg
