#include "engine/SubcommandLine.h"

#include <limits>

#include "engine/CopyToken.h"

namespace pg {

SubcommandLine SubcommandLine::Parse(std::string_view line) {
    SubcommandLine result;
    if (line.empty()) {
        return result;
    }
    result.code = line[0];
    const std::string_view words = line.substr(1);
    const size_t countLength = CopyToken(words, result.countText, kTokenMax);
    if (countLength + 1 < words.size()) {
        CopyToken(words.substr(countLength + 1), result.name, kTokenMax);
    }
    result.count = ParseCount(result.countText, result.countOverflow);
    return result;
}

int32_t SubcommandLine::ParseCount(std::string_view text, bool& overflow) {
    overflow = false;
    size_t position = 0;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    // The magnitude is kept one step above INT32_MAX at most, so it never wraps whatever the
    // number of digits.
    constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
        magnitude = magnitude * 10 + (text[position] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit + 1;
        }
    }
    if (negative) {
        if (magnitude > kLimit) {
            overflow = true;
            return std::numeric_limits<int32_t>::min();
        }
        return static_cast<int32_t>(-magnitude);
    }
    if (magnitude >= kLimit) {
        overflow = true;
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(magnitude);
}

}  // namespace pg
