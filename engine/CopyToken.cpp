#include "engine/CopyToken.h"

#include <algorithm>

namespace pg {

bool IsLpdSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t LeadingNumber(std::string_view text) {
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = std::min<int64_t>(value * 10 + (c - '0'), INT32_MAX);
    }
    return static_cast<int32_t>(value);
}

bool StartsWithDigit(std::string_view text) {
    return !text.empty() && text[0] >= '0' && text[0] <= '9';
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

std::string_view TokenReader::Rest() const {
    return position_ >= text_.size() ? std::string_view() : text_.substr(position_);
}

}  // namespace pg
