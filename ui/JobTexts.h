#pragma once

#include <QString>
#include <cstdint>

namespace pg {

struct Transfer;

// The viewer's "Size" column: below 1,024,000 bytes the size in kilobytes of 1024 bytes
// ("%0.1fK"), from there on in "megabytes" of 1,024,000 bytes ("%0.1fM"), so the switch comes
// right after 1000.0K: 1,023,999 bytes read 1000.0K, 1,024,000 bytes 1.0M.
QString JobSizeText(uint64_t bytes);

// The "Job Ref. No." column: "#%03d" (7 gives #007, 1234 gives #1234).
QString JobRefText(int32_t jobNo);

// A progress cell: "12.5M of 48.8M, 9.8M/s", sizes as in the Size column; the total is left
// out while it is unknown and the rate until there is one. Empty when nothing moves.
QString TransferText(const Transfer& transfer);

}  // namespace pg
