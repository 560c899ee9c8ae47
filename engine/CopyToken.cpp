#include "engine/CopyToken.h"

namespace pg {

bool IsLpdSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

size_t CopyToken(std::string_view source, std::string& destination, size_t max) {
    destination.clear();
    if (max == 0) {
        return 0;
    }
    size_t n = 0;
    while (n < source.size() && n + 1 < max && !IsLpdSpace(source[n])) {
        ++n;
    }
    destination.assign(source.substr(0, n));
    return n;
}

std::string TokenReader::Next(size_t max) {
    std::string token;
    if (position_ >= text_.size()) {
        return token;
    }
    size_t taken = CopyToken(text_.substr(position_), token, max);
    position_ += taken + 1;
    return token;
}

}  // namespace pg
