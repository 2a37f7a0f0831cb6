// Rounding an extended value to a whole number: the one rule the program rounds by.
#pragma once

#include <limits>

namespace roi {

// The nearest integer to value, halves to the even neighbour: the x87's own rounding,
// written out so it does not depend on the control word. Total: NaN gives 0, and a
// value beyond long long's range gives the nearer end of it.
constexpr long long roundHalfEven(long double value) {
    constexpr long long LARGEST = std::numeric_limits<long long>::max();
    constexpr long long SMALLEST = std::numeric_limits<long long>::min();  // -2^63, exact
    // The rule is symmetric, so the magnitude is rounded.
    const bool negative = value < 0.0L;
    const long double magnitude = negative ? -value : value;
    if (!(magnitude < 0x1p63L)) {
        return value != value ? 0 : negative ? SMALLEST : LARGEST;  // NaN, or 2^63 and beyond
    }
    // Below 2^63 the whole part and the fraction are both exact.
    long long whole = static_cast<long long>(magnitude);
    const long double fraction = magnitude - static_cast<long double>(whole);
    if (fraction > 0.5L || (fraction == 0.5L && whole % 2 != 0)) {
        if (whole == LARGEST) {
            return negative ? SMALLEST : LARGEST;  // 2^63 - 0.5 rounds to 2^63
        }
        ++whole;
    }
    return negative ? -whole : whole;
}

}  // namespace roi
