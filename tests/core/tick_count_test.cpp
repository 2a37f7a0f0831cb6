// The 64-bit count carried over the wraps of the 32-bit one.
#include "core/tick_count.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace roi {
namespace {

TEST(ExtendTickCount, CountsTheWrapsOfTheReadings) {
    constexpr std::uint64_t WRAP = std::uint64_t{1} << 32;
    struct Case {
        const char* why;
        std::uint64_t previous;
        std::uint32_t reading;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"the first reading", 0, 1234, 1234},
        {"the same reading again", 1234, 1234, 1234},
        {"a later reading", 1234, 5000, 5000},
        {"the last millisecond before the wrap", 10, 0xFFFFFFFF, 0xFFFFFFFF},
        {"the wrap", 0xFFFFFFFF, 0, WRAP},
        {"just past the wrap", 0xFFFFFFF0, 0x10, WRAP + 0x10},
        {"after the wrap the high half stays", WRAP + 0x10, 0x20, WRAP + 0x20},
        {"the second wrap", WRAP + 0xFFFFFF00, 5, 2 * WRAP + 5},
        {"the high half is kept whole", 7 * WRAP + 100, 200, 7 * WRAP + 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(extendTickCount(c.previous, c.reading), c.expected);
    }
}

}  // namespace
}  // namespace roi
