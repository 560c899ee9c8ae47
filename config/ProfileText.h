#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace pg {

// The small text rules shared by the profile reader and the readers of pgate.ini's values.
// Texts are byte strings in a single-byte character set, so letter case is ASCII case.

// Space, tab, line feed, vertical tab, form feed and carriage return.
bool IsWhiteSpace(char c);

// text without white space at either end.
std::string_view TrimWhiteSpace(std::string_view text);

// Equal when compared without regard to ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The number formed by text's leading decimal digits, with an optional '+' or '-' first; 0
// when there are no digits. Values beyond the int range are held at its ends, as strtol does
// on a 32-bit long. Leading white space is not skipped: callers trim first.
int ParseLeadingInt(std::string_view text);

// A setting's value as pgate.ini holds it: Y or N for a switch, a number in decimal, text as is.
template <typename T>
std::string ValueText(const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return value ? "Y" : "N";
    } else if constexpr (std::is_same_v<T, std::string>) {
        return value;
    } else {
        return std::to_string(value);
    }
}

}  // namespace pg
