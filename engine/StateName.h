#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pg {

// The display name of a state whose values count from 1 through names; "unknown?" for any
// other value.
template <size_t N>
const char* StateNameFrom(const std::array<const char*, N>& names, uint8_t state) {
    return state >= 1 && state <= N ? names[state - 1] : "unknown?";
}

}  // namespace pg
