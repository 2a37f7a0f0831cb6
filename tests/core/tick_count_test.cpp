// The 64-bit count carried over the wraps of the 32-bit one.
#include "core/tick_count.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace roi {
namespace {

TEST(ExtendTickCount, CountsTheWrapsOfTheReadings) {
    constexpr std::uint64_t WRAP = std::uint64_t{1} << 32;
    const struct {
        const char* why;
        std::uint64_t previous;
        std::uint32_t reading;
        std::uint64_t expected;
    } cases[] = {
        {"the first reading", 0, 1234, 1234},
        {"the same reading again", 1234, 1234, 1234},
        {"the last millisecond before the wrap", 10, 0xFFFFFFFF, 0xFFFFFFFF},
        {"the wrap", 0xFFFFFFF0, 0x10, WRAP + 0x10},
        {"after the wrap the high half stays", WRAP + 0x10, 0x20, WRAP + 0x20},
        {"a later wrap keeps the high half's count", 7 * WRAP + 0xFFFFFF00, 5, 8 * WRAP + 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(extendTickCount(c.previous, c.reading), c.expected);
    }
}

}  // namespace
}  // namespace roi
