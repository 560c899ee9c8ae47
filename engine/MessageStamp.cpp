#include "engine/MessageStamp.h"

#include <cstdio>

namespace pg {

std::string MessageStamp(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    ::localtime_r(&when, &local);
    int hour12 = local.tm_hour % 12;
    if (hour12 == 0) {
        hour12 = 12;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s %02d %s %04d  %02d:%02d:%02d %s", kDays[local.tm_wday],
                  local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900, hour12, local.tm_min,
                  local.tm_sec, local.tm_hour < 12 ? "am" : "pm");
    return text;
}

std::string MessageStamp() {
    return MessageStamp(std::time(nullptr));
}

}  // namespace pg
