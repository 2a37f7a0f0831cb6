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
    if (!(value >= -0x1p63L && value < 0x1p63L)) {
        return value != value ? 0 : value < 0.0L ? SMALLEST : LARGEST;
    }
    // Within the range the whole part (towards zero) and the fraction are both exact.
    const long long whole = static_cast<long long>(value);
    const long double fraction = value - static_cast<long double>(whole);
    const bool odd = whole % 2 != 0;
    if (fraction > 0.5L || (fraction == 0.5L && odd)) {
        return whole == LARGEST ? LARGEST : whole + 1;  // 2^63 - 0.5 would round to 2^63
    }
    if (fraction < -0.5L || (fraction == -0.5L && odd)) {
        return whole - 1;
    }
    return whole;
}

}  // namespace roi
