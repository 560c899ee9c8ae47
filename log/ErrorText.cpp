#include "log/ErrorText.h"

#include <netdb.h>

#include <cstring>

namespace pg {

namespace {

// strerror_r comes in two kinds: the GNU one returns the text (which need not be in the
// buffer), the POSIX one fills the buffer and returns 0 or an error.
[[maybe_unused]] const char* TextOf(const char* result, const char*) {
    return result;
}
[[maybe_unused]] const char* TextOf(int result, const char* buffer) {
    return result == 0 ? buffer : "Unknown error";
}

}  // namespace

std::string ErrorText(int error) {
    char buffer[256] = "";
    return std::to_string(error) + ": " +
           TextOf(::strerror_r(error, buffer, sizeof buffer), buffer);
}

std::string ResolverErrorText(int code) {
    if (code < 0) {
        return std::to_string(code) + ": " + ::gai_strerror(code);
    }
    return ErrorText(code);
}

}  // namespace pg
