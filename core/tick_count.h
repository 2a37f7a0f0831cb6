// A millisecond count that does not wrap, carried forward from readings of a 32-bit
// one that wraps every 49.7 days (GetTickCount, where Windows has no GetTickCount64).
#pragma once

#include <cstdint>

namespace roi {

// The 64-bit count after previous, given a new 32-bit reading: the high half goes up
// by one when the reading is below previous's low half, that is when the 32-bit count
// wrapped in between. Readings must come at least once per wrap; one that comes later
// misses the wraps it slept through.
std::uint64_t extendTickCount(std::uint64_t previous, std::uint32_t reading);

}  // namespace roi
