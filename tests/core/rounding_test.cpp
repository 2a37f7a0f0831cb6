// The one rounding rule: nearest integer, halves to even.
#include "core/rounding.h"

#include <gtest/gtest.h>

#include <limits>

namespace roi {
namespace {

TEST(RoundHalfEven, NearestIntegerHalvesToEven) {
    struct Case {
        long double value;
        long long expected;
    };
    const long long largest = std::numeric_limits<long long>::max();
    const long long smallest = std::numeric_limits<long long>::min();
    const Case cases[] = {
        {2.5L, 2},  // a half goes to the even neighbour
        {3.5L, 4},
        {-2.5L, -2},  // on either side of zero
        {-3.5L, -4},
        {-0.5L, 0},
        {2.75L, 3},
        {-2.25L, -2},
        {0.5L - 0x1p-65L, 0},               // the largest value below a half
        {0.5L + 0x1p-64L, 1},               // the smallest above it
        {0x1p60L + 1.5L, (1LL << 60) + 2},  // a half that a double could not hold
        {0x1p63L - 0.5L, largest},          // would round to 2^63, one past the range
        {0.5L - 0x1p63L, smallest},         // rounds to -2^63, still in the range
        {-0x1p63L, smallest},               // the one end of the range a value can reach exactly
        {0x1p70L, largest},
        {-std::numeric_limits<long double>::infinity(), smallest},
        {std::numeric_limits<long double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(roundHalfEven(c.value), c.expected);
    }
}

}  // namespace
}  // namespace roi
