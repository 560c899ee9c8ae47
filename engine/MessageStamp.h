#pragma once

#include <ctime>
#include <string>

namespace pg {

// The message window's time stamp, "ddd dd mmm yyyy  hh:mm:ss am/pm" in local time:
// "Fri 04 Dec 2026  08:07:09 am" (two blanks between year and hour, 12 for noon and midnight).
std::string MessageStamp(std::time_t when);
std::string MessageStamp();

}  // namespace pg
