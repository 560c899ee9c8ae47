#include "engine/SpoolFileName.h"

namespace pg {

namespace {

// Only the first ten characters of a name are looked at for the job number.
constexpr size_t kScanWindow = 10;
// The most digits a job number keeps: nine decimal digits always fit the signed 32-bit job
// number.
constexpr size_t kMaxDigits = 9;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

// The name is read as prefix, job number and suffix:
// - the prefix is every character in front of the first digit among the first ten characters;
// - the digits run from that first digit up to the first non-digit, the end of the ten-
//   character window, or the ninth digit, whichever comes first (cfA1234host gives 1234);
// - the suffix is the rest of the whole name, however long.
// A name without a digit among its first ten characters has no job number: every scanned
// character counts as prefix and the suffix is what follows the window.
SpoolFileName SpoolFileName::Analyse(std::string_view name) {
    SpoolFileName result;
    const size_t window = name.size() < kScanWindow ? name.size() : kScanWindow;
    size_t position = 0;
    while (position < window && !IsDigit(name[position])) {
        ++position;
    }
    result.prefixLength = static_cast<int32_t>(position);
    while (position < window && IsDigit(name[position]) && result.digits.size() < kMaxDigits) {
        result.digits.push_back(name[position]);
        ++position;
    }
    result.suffix.assign(name.substr(position));
    return result;
}

int32_t SpoolFileName::JobNumber() const {
    uint32_t value = 0;
    for (char c : digits) {
        value = value * 10u + static_cast<uint32_t>(c - '0');
    }
    return static_cast<int32_t>(value);
}

}  // namespace pg
