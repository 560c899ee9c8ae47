#pragma once

#include <string>
#include <string_view>

namespace pg {

// Text a client sent (file names, control-file words) made safe for a log line or a status
// text: bytes below 0x20, 0x7f and above, and the backslash are written as \xNN, so a name can
// neither break a line nor pass itself off as another.
std::string PrintableText(std::string_view text);

}  // namespace pg
