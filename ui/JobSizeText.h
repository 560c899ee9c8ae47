#pragma once

#include <QString>
#include <cstdint>

namespace pg {

// The viewer's "Size" column: below 1,024,000 bytes the size in kilobytes of 1024 bytes
// ("%0.1fK"), from there on in "megabytes" of 1,024,000 bytes ("%0.1fM"), so the switch comes
// right after 1000.0K: 1,023,999 bytes read 1000.0K, 1,024,000 bytes 1.0M.
QString JobSizeText(uint32_t bytes);

}  // namespace pg
