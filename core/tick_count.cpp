// The 64-bit millisecond count carried over the 32-bit count's wraps.
#include "core/tick_count.h"

namespace roi {

std::uint64_t extendTickCount(std::uint64_t previous, std::uint32_t reading) {
    constexpr std::uint64_t WRAP = std::uint64_t{1} << 32;
    std::uint64_t high = previous & ~(WRAP - 1);
    if (reading < static_cast<std::uint32_t>(previous)) {
        high += WRAP;
    }
    return high | reading;
}

}  // namespace roi
