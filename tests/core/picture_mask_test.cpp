// formatWithMask: the calculator's four masks over every kind of value a user
// can produce, then the rest of the mask grammar feature by feature.
#include "core/picture_mask.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/number_text.h"

namespace roi {
namespace {

// The calculator never formats a literal: every value is parseNumber of a text.
struct Case {
    const char* mask;
    const char* number;
    const char* expected;
};

void expectAll(const Case* begin, const Case* end) {
    for (const Case* c = begin; c != end; ++c) {
        SCOPED_TRACE(std::string("mask \"") + c->mask + "\" number " + c->number);
        EXPECT_EQ(formatWithMask(c->mask, parseNumber(c->number)), c->expected);
    }
}

template <std::size_t N>
void expectAll(const Case (&cases)[N]) {
    expectAll(cases, cases + N);
}

TEST(FormatWithMask, CalculatorMasks) {
    struct Row {
        const char* number;
        const char* bankroll;  // "$#,###,###.##"
        const char* roi;       // "$####.##"
        const char* percent;   // "###.##%"
        const char* mutuel;    // "$#,###.##"
    };
    const Row rows[] = {
        {"0", "$        0.00", "$   0.00", "  0.00%", "$    0.00"},
        {"-0", "$        0.00", "$   0.00", "  0.00%", "$    0.00"},  // negative zero shows no sign
        {"1", "$        1.00", "$   1.00", "  1.00%", "$    1.00"},
        {"-1", "$       -1.00", "$  -1.00", " -1.00%", "$   -1.00"},
        {"12.5", "$       12.50", "$  12.50", " 12.50%", "$   12.50"},
        {"-12.5", "$      -12.50", "$ -12.50", "-12.50%", "$  -12.50"},
        {"0.005", "$        0.00", "$   0.00", "  0.00%", "$    0.00"},  // tie to even 0
        {"0.015", "$        0.02", "$   0.02", "  0.02%", "$    0.02"},  // tie to even 2
        {"0.125", "$        0.12", "$   0.12", "  0.12%", "$    0.12"},
        {"2.675", "$        2.68", "$   2.68", "  2.68%", "$    2.68"},
        {" 33.3333333333333", "$       33.33", "$  33.33", " 33.33%", "$   33.33"},  // a stored canonical text
        {"1234.565", "$    1,234.56", "$1234.56", "1234.56%", "$1,234.56"},
        {"-1234.5", "$   -1,234.50", "$-1234.50", "-1234.50%", "$-1,234.50"},
        {"999.995", "$    1,000.00", "$1000.00", "1000.00%", "$1,000.00"},  // carry adds a digit
        {"9999.995", "$   10,000.00", "$10000.00", "10000.00%", "$10,000.00"},
        {"99999.995", "$  100,000.00", "$100000.00", "100000.00%", "$100,000.00"},
        {"123456789.123", "$123,456,789.12", "$123456789.12", "123456789.12%", "$123,456,789.12"},
        {"1234567890", "$1,234,567,890.00", "$1234567890.00", "1234567890.00%", "$1,234,567,890.00"},
        {"-0.004", "$       -0.00", "$  -0.00", " -0.00%", "$   -0.00"},  // rounds to zero, keeps its sign
        {"1E16", "$10,000,000,000,000,000.00", "$10000000000000000.00", "10000000000000000.00%",
         "$10,000,000,000,000,000.00"},  // 19 digits: still fixed
        {"1E17", "$100,000,000.00E+09", "$1000.00E+14", "100.00E+15%", "$10,000.00E+13"},
        {"-1E17", "$-10,000,000.00E+10", "$-100.00E+15", "-10.00E+16%", "$-1,000.00E+14"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.number);
        const Extended x = parseNumber(r.number);
        EXPECT_EQ(formatWithMask("$#,###,###.##", x), r.bankroll);
        EXPECT_EQ(formatWithMask("$####.##", x), r.roi);
        EXPECT_EQ(formatWithMask("###.##%", x), r.percent);
        EXPECT_EQ(formatWithMask("$#,###.##", x), r.mutuel);
    }
}

// Whole cents written as text come back unchanged through every calculator mask.
// The expected text is built here from integer arithmetic alone.
std::string centsField(std::int64_t cents, bool grouping, std::int64_t width) {
    const std::int64_t magnitude = std::llabs(cents);
    std::string whole = std::to_string(magnitude / 100);
    if (grouping) {
        for (std::int64_t i = static_cast<std::int64_t>(whole.size()) - 3; i > 0; i -= 3) {
            whole.insert(static_cast<std::size_t>(i), ",");
        }
    }
    std::string fraction = std::to_string(magnitude % 100);
    if (fraction.size() < 2) {
        fraction.insert(0, "0");
    }
    std::string content = (cents < 0 ? "-" : "") + whole + "." + fraction;
    if (static_cast<std::int64_t>(content.size()) < width) {
        content.insert(0, static_cast<std::size_t>(width) - content.size(), ' ');
    }
    return content;
}

std::string centsText(std::int64_t cents) {
    const std::int64_t magnitude = std::llabs(cents);
    std::string fraction = std::to_string(magnitude % 100);
    if (fraction.size() < 2) {
        fraction.insert(0, "0");
    }
    return (cents < 0 ? "-" : "") + std::to_string(magnitude / 100) + "." + fraction;
}

void expectCents(const std::string& text, std::int64_t cents) {
    SCOPED_TRACE(text);
    const Extended x = parseNumber(text);
    EXPECT_EQ(formatWithMask("$#,###,###.##", x), "$" + centsField(cents, true, 12));
    EXPECT_EQ(formatWithMask("$####.##", x), "$" + centsField(cents, false, 7));
    EXPECT_EQ(formatWithMask("###.##%", x), centsField(cents, false, 6) + "%");
    EXPECT_EQ(formatWithMask("$#,###.##", x), "$" + centsField(cents, true, 8));
}

TEST(FormatWithMask, WholeCentsSurviveEveryCalculatorMask) {
    for (std::int64_t cents = -300000; cents <= 300000; cents += 37) {
        expectCents(centsText(cents), cents);
    }
    // Large amounts, up to 17 integer digits with two decimals.
    for (std::int64_t cents = 99;; cents = cents * 10 + 7) {
        expectCents(centsText(cents), cents);
        expectCents(centsText(-cents), -cents);
        if (cents >= 100000000000000000) {
            break;
        }
    }
}

TEST(FormatWithMask, HalfCentTiesGoToTheEvenCent) {
    for (std::int64_t cents = -200000; cents <= 200000; cents += 53) {
        // cents + one half: the text ends in "5" at the third decimal.
        const std::string text = centsText(cents) + "5";
        const std::int64_t magnitude = std::llabs(cents);
        const std::int64_t even = magnitude % 2 == 0 ? magnitude : magnitude + 1;
        std::string expected = centsField(even, true, 0);
        if (cents < 0) {
            expected.insert(0, "-");
        }
        SCOPED_TRACE(text);
        EXPECT_EQ(formatWithMask("#,###,###.##", parseNumber(text)),
                  std::string(expected.size() < 12 ? 12 - expected.size() : 0, ' ') + expected);
    }
}

TEST(FormatWithMask, OtherFields) {
    const Case cases[] = {
        {"##.##", "1.5", " 1.50"},
        {"##.##", "-1.5", "-1.50"},
        {"##.##", "123.456", "123.46"},
        {"+##.##", "1.5", " +1.50"},
        {"+##.##", "-1.5", " -1.50"},
        {"+##.##", "0", " +0.00"},
        {"##.##-", "1.5", " 1.50 "},
        {"##.##-", "-1.5", " 1.50-"},
        {"##.##+", "1.5", " 1.50+"},
        {"##.##+", "-1.5", " 1.50-"},
        {"**##.##", "1.5", "***1.50"},
        {"**##.##", "-1.5", "**-1.50"},
        {"**##.##", "12345", "12345.00"},
        {"**$##.##", "1.5", "***$1.50"},
        {"**$##.##", "-1.5", "**-$1.50"},
        {"$$##.##", "1.5", "  $1.50"},
        {"$$##.##", "-1.5", " -$1.50"},
        {"$$##.##", "1234", "$1234.00"},
        {"##.##^^^^", "1234.5", " 1.23E+03"},
        {"##.##^^^^", "-0.00012", "-1.20E-04"},
        {"##.##^^^^", "0", " 0.00E+00"},
        {"#.##^^^^^", "1234.5", " .12E+004"},
        {".##^^^^", "1234.5", " .12E+04"},
        {"##,##.#", "123456.78", "123,456.8"},
        {"#,###", "1234567", "1,234,567"},
        {"#,###", "-1234", "-1,234"},
        {"#", "5", "5"},
        {"#", "-5", "-5"},
        {"#", "0.4", "0"},
        {"#", "0.5", "1"},  // no digit kept: one half shows as 1
        {"#", "1.5", "2"},
        {"#", "2.5", "2"},
        {"#", "-12", "-12"},
        {"#.#", "0.05", "0.0"},
        {"#.#", "0.15", "0.2"},
        {"#.#", "0.051", "0.1"},
        {"#.#", "-0.05", "-.0"},  // the sign takes the only integer position
        {".##", "0.5", ".50"},
        {".##", "1.5", "1.50"},
        {".##", "-0.5", "-.50"},
        {".##", "0", "0.00"},  // an exact zero counts as one integer digit
        {".##", "0.004", ".00"},
        {".##", "0.995", "1.00"},
        {"x_#y ##.# z", "3.14", "x#y  3.1 z"},
        {"##.## and ##.##", "1.5", " 1.50 and "},
        {"#.##^^", "1.5", ""},
        {"abc", "5", "abc"},
        {"#^^^^", "5", " 5E+00"},
    };
    expectAll(cases);
}

TEST(FormatWithMask, LiteralPrefix) {
    const Case cases[] = {
        {"", "5", ""},
        {"_##", "5", "#5"},             // "_" copies the next character, even a field character
        {"__##", "5", "_ 5"},           // an escaped "_"
        {"ab_", "5", "ab"},             // a final "_" ends the mask and ignores x
        {"ab^##", "5", "ab"},           // "^" before any field ends the mask
        {"ab*", "5", "ab*"},            // a final "*" is copied and ends the mask
        {"$x##", "5", "$x 5"},          // "$" before another character is literal
        {"-##", "5", "- 5"},            // "-" is no prefix marker
        {".x##", "5", ".x 5"},          // "." begins a field only before "#"
        {"x.##", "0.25", "x.25"},       // "." before "#" begins a field with its point
        {",##", "1234", "1,234"},       // "," begins a field with grouping
        {"*x##", "5", "xxx5"},          // any fill character
        {"*x$##.#", "2.5", "xxx$2.5"},  // fill and floating "$"
        {"+a##", "5", "a +5"},          // literals between a marker and the field are copied
        {"$$#", "-5", "-$5"},
    };
    expectAll(cases);
}

TEST(FormatWithMask, PrefixEndsWithoutBody) {
    const Case cases[] = {
        {"!##", "42", "42"},  // text-field character: the number in its shortest form
        {"&##", "42", "42"},     {"!", "-0.25", "-0"}, {"!", "0.75", "1"},
        {"!", "123.456", "123"}, {"\\##", "5", "5\\"},  // "\" not followed by a blank or "\" is copied by the tail
        {"\\ ##", "5", "5"},     {"$", "5", "5$"},      // a final "$" ends the prefix and is copied by the tail
        {"ab$", "-5", "ab-5$"},  {"***##", "5", "*5"},  // "*" after "**" repeats a marker
        {"++##", "5", "+5"},                            // "+" after "+"
        {"$$$##", "5", "$5$"},                          // "$" after "$$"
        {"$$*##", "5", "$5"},                           // "*" after "$$"
        {"**$$##", "5", "*$5$"},                        // "$" after "**$"
    };
    expectAll(cases);
}

TEST(FormatWithMask, LiteralTail) {
    const Case cases[] = {
        {"#x_", "5", "5x_"},  // a final "_" is copied itself
        {"#_#x", "5", "5#x"},
        {"#ab#", "5", "5ab"},
        {"#ab!cd", "5", "5ab"},
        {"#ab&cd", "5", "5ab"},
        {"#ab*cd", "5", "5ab"},
        {"#ab*", "5", "5ab*"},  // "*" stops the tail only when something follows it
        {"#ab+#", "5", "5ab"},
        {"#ab+.", "5", "5ab"},
        {"#ab.#", "5", "5ab"},
        {"#ab$$", "5", "5ab"},
        {"#ab,.", "5", "5ab"},
        {"#ab,,", "5", "5ab"},
        {"#ab\\\\", "5", "5ab"},
        {"#ab\\ x", "5", "5ab"},
        {"#a$b+c,d.e\\f^", "5", "5a$b+c,d.e\\f^"},  // the same characters without their partners
        {"#a!", "5", "5a"},
        {"#a$", "5", "5a$"},
        {"#a+", "5", "5a+"},
        {"#a.", "5", "5a."},
        {"#a,", "5", "5a,"},
        {"#a\\", "5", "5a\\"},
        {"#.#.x", "2.5", "2.5.x"},  // a second "." ends the field
        {"#.#,#", "2.5", "2.5,"},   // "," after the point ends the field
        {"#.#,,", "2.5", "2.5"},
        {"##x^^", "5", " 5x^^"},  // carets in the tail are literal
        {"##.##^^^^##", "1234.5", " 1.23E+03"},
    };
    expectAll(cases);
}

TEST(FormatWithMask, CaretRuns) {
    const Case cases[] = {
        {"ab#^x", "1.5", "ab"},        // one caret: nothing for the field or after it
        {"ab##^^^^^^^", "1.5", "ab"},  // seven carets
        {"#^^^", "5", " 5E+0"},
        {"#^^^^^^", "5", " 5E+0000"},
        {"#.#^^^", "1E15", " .1E+16"},  // an exponent wider than the field's digits widens it
        {"##.##^^^^-", "-1234.5", "12.34E+02-"},
        {"##.##^^^^-", "1234.5", "12.34E+02 "},
        {"##.##^^^^+", "1234.5", "12.34E+02+"},
        {"##.##^^^^+", "-1234.5", "12.34E+02-"},
        {"+##.##^^^^-", "1234.5", "+12.34E+02-"},  // a leading plus leaves the "-" to the tail
        {"#,###^^^^", "1234567", " 1235E+03"},     // carets switch grouping off; "," still counts
        {"##.#^^^^", "9.96", " 1.0E+01"},          // a carry raises the exponent
    };
    expectAll(cases);
}

TEST(FormatWithMask, SignPositions) {
    const Case cases[] = {
        {"##", "-5", "-5"},    {"###", "-5", " -5"},           {"#.#", "-1.5", "-1.5"},
        {".#", "-0.5", "-.5"}, {"##.##-", "-0.004", " 0.00-"}, {"+#", "-0.004", "-0"},
        {"+#", "0", "+0"},     {"**#", "-5", "*-5"},
    };
    expectAll(cases);
}

TEST(FormatWithMask, RoundingOnEighteenDigits) {
    const Case cases[] = {
        {"#.##", "0.0051", "0.01"},  // the digit after the 5 breaks the tie
        {"#.##", "0.005", "0.00"},
        {"#.##", "0.025", "0.02"},
        {"#.##", "0.035", "0.04"},
        {"#.##", "0.125000000000000001", "0.13"},   // 18th significant digit still counts
        {"#.##", "0.1250000000000000009", "0.12"},  // a 19th digit is never read
        {"#", "9.5", "10"},
        {"##.#", "99.96", "100.0"},
        {"###.#", "9.96", " 10.0"},
        {"#", "0.05", "0"},
        {"#.##", "1E-30", "0.00"},
        {"#.#####################", "9E-21", "0.000000000000000000009"},  // digits far behind the point
        {"#.###################", "9E-21", "0.0000000000000000000"},
        {"#.##################", "9E-21", "0.000000000000000000"},  // 18 decimals: the 9 is not the next digit
    };
    expectAll(cases);
}

TEST(FormatWithMask, WidensNeverCuts) {
    const Case cases[] = {
        {"$####.##", "123456789.123", "$123456789.12"},
        {"##", "12345", "12345"},
        {"**##", "123456", "123456"},
        {"###################", "1E18", "1000000000000000000"},  // 19 digits fit the fixed form
    };
    expectAll(cases);
}

TEST(FormatWithMask, ExponentFormPastNineteenDigits) {
    const Case cases[] = {
        {"#", "1E19", "1E+19"},
        {"##.##", "1E18", "10.00E+17"},
        {"#.##", "1E150", "1.00E+150"},  // a three-digit exponent takes five carets
        {"#.##", "1E1500", "1.00E+1500"},
        {"#.##", "-1E150", "-.10E+151"},
        {".####################", "0.5", ".50000000000000000000E+00"},  // 20 decimals
        {"!", "12345678901234567890123", "1E+22"},                      // an empty field keeps one mantissa digit
    };
    expectAll(cases);
}

TEST(FormatWithMask, ValuesWithoutDigits) {
    struct Row {
        const char* name;
        Extended x;
        const char* expected;
    };
    const Extended inf = std::numeric_limits<Extended>::infinity();
    const Row rows[] = {
        {"quiet NaN", std::numeric_limits<Extended>::quiet_NaN(), "$    0.00"},
        {"negative NaN", -std::numeric_limits<Extended>::quiet_NaN(), "$    0.00"},
        {"negative zero", -0.0L, "$    0.00"},
        {"denormal", std::numeric_limits<Extended>::denorm_min(), "$    0.00"},
        {"negative denormal", -std::numeric_limits<Extended>::denorm_min(), "$    0.00"},
        {"infinity", inf, "$10,000.00E+995"},
        {"negative infinity", -inf, "$-1,000.00E+996"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(formatWithMask("$#,###.##", r.x), r.expected);
    }
}

TEST(FormatWithMask, AnyMaskBytes) {
    struct Row {
        std::string mask;
        std::string expected;
    };
    const Row rows[] = {
        {std::string("a\0#", 3), std::string("a\0"
                                             "5",
                                             3)},
        {std::string("*\0##", 4), std::string("\0\0\0"
                                              "5",
                                              4)},  // NUL as the fill character
        {"\xff##\x80", "\xff 5\x80"},
        {std::string("#\0_", 3), std::string("5\0_", 3)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.mask));
        EXPECT_EQ(formatWithMask(r.mask, 5), r.expected);
    }
}

TEST(FormatWithMask, OutputLimit) {
    EXPECT_EQ(formatWithMask(std::string(2000, 'a'), 5), std::string(MASK_OUTPUT_LIMIT, 'a'));
    // The limit falls inside the number.
    EXPECT_EQ(formatWithMask(std::string(1020, 'a') + "#####", 123), std::string(1020, 'a') + "  12");
    // A field wider than the limit.
    EXPECT_EQ(formatWithMask(std::string(3000, '#'), 5), std::string(MASK_OUTPUT_LIMIT, ' '));
    const std::string wide = formatWithMask(std::string(3000, '#') + ".##^^^^", 5);
    EXPECT_EQ(wide.size(), MASK_OUTPUT_LIMIT);
    EXPECT_EQ(wide.substr(0, 2), " 5");  // the caret field has 3000 mantissa digits
}

TEST(FormatWithMask, MasksWithoutFieldsEnd) {
    // Each must return (not loop) with its literal text.
    const Case cases[] = {
        {"no field here", "5", "no field here"}, {"_", "5", ""}, {"^", "5", ""}, {"*", "5", "*"}, {"$_$", "5", "$$"},
    };
    expectAll(cases);
}

}  // namespace
}  // namespace roi
