#pragma once

#include <string>
#include <string_view>

namespace pg {

// Client-supplied text (job names, users, hosts, file and queue names) made safe to show in
// log lines, the message window, reports and document names: every control character becomes
// \xNN (two upper-case hex digits) and everything else stays as it is. Controls are the bytes
// 0x00-0x1F and 0x7F, the C1 controls U+0080-U+009F written in UTF-8, and the bytes 0x80-0x9F
// where they are not part of a valid UTF-8 character (C1 controls in a single-byte character
// set). Valid UTF-8 and single-byte text of 0xA0-0xFF pass unchanged.
std::string EscapeControls(std::string_view text);

}  // namespace pg
