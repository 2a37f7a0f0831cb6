// Text to extended number and back: the one parser and the one number formatter
// of the calculator, and the helpers they share. Pure, locale-free code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace roi {

// Every number of the calculator is an x87 80-bit extended value.
using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits == 64, "the core expects x87 extended precision");

// The characters that survive the money-cell filter.
inline constexpr char NUMBER_CHARS[] = "-.0123456789";

// Reads the number at the start of text; never fails (no number reads as 0).
Extended parseNumber(std::string_view text);

// A decimal number 0.d1d2... x 10^q beyond these q leaves the extended range: from
// LARGEST_DIGITS_BEFORE_POINT + 1 up it reads as 2^127 with its sign, from
// SMALLEST_DIGITS_BEFORE_POINT - 1 down as 0.
inline constexpr std::int64_t LARGEST_DIGITS_BEFORE_POINT = 4932;
inline constexpr std::int64_t SMALLEST_DIGITS_BEFORE_POINT = -4932;

// What the decimal grammar found at the start of a text, before any value is made of
// it: parseNumber rounds it to an extended value, the saved bankroll writes its digits out.
struct ScannedNumber {
    bool negative = false;          // a "-" stood in front
    std::string_view digits;        // from the first significant digit to the mantissa's end, a point
                                    // included; empty when no digit is significant (the number is 0)
    std::uint64_t significand = 0;  // the first significant digits, at most 18 (so below 10^18), exactly
    int significandDigits = 0;      // how many digits significand holds
    std::int64_t q = 0;             // digits before the point of the value written out: 0.d1d2... x 10^q
    bool exponentForm = false;      // an exponent with digits followed the mantissa
    std::size_t end = 0;            // where the scan stopped: after the exponent in exponent form, else
                                    // after the mantissa
};

// Reads sign, mantissa and exponent from the first character of text on (blanks are
// not skipped; see skipBlanks). Never fails: text without a number gives no digits.
ScannedNumber scanDecimal(std::string_view text);

// text without its leading blanks: space, TAB, CR and LF, the only four a number may follow.
std::string_view skipBlanks(std::string_view text);

// Keeps the characters of text that occur anywhere in set, in their order.
std::string retainChars(std::string_view text, std::string_view set);

// 10^n for 0 <= n <= 8191, built from a fixed table; exact for n <= 27.
Extended powerOfTen(int n);

// The magnitude 0.d1d2...dN x 10^q; digits holds exactly N characters.
struct DecimalDigits {
    bool negative = false;
    std::string digits;
    int q = 0;
};

// The first n (1..19) significant decimal digits of x, rounded as the
// calculator rounds (18 digits first, then to n on digit n + 1 alone).
DecimalDigits decimalDigits(Extended x, int n);

// Appends digits (significant, no trailing zeros) in fixed form with q digits before
// the point: "123000", "1.5", ".0012"; no "0" stands before a leading point.
void appendFixedForm(std::string& out, std::string_view digits, int q);

// The canonical text: a sign character ("-" or a blank) and 15 significant digits.
std::string numberToText(Extended x);

}  // namespace roi
