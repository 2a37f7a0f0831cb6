// Text to extended number and back. Expected extended values are exact literals or
// hex floats worked out with exact rational arithmetic under the same rules, and
// are compared on the 10 meaningful bytes of the 80-bit pattern.
#include "core/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace roi {
namespace {

std::string patternOf(Extended x) {
    unsigned char raw[sizeof(Extended)] = {};
    std::memcpy(raw, &x, sizeof raw);
    static const char HEX[] = "0123456789abcdef";
    std::string out;
    for (int i = 9; i >= 0; --i) {
        out.push_back(HEX[raw[i] >> 4]);
        out.push_back(HEX[raw[i] & 15]);
        if (i == 8) {
            out.push_back('_');
        }
    }
    return out;
}

// Bit-exact: the sign of zero and the last significand bit both count.
testing::AssertionResult sameBits(Extended actual, Extended expected) {
    if (patternOf(actual) == patternOf(expected)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "got " << patternOf(actual) << ", expected " << patternOf(expected);
}

Extended fromPattern(unsigned signExponent, std::uint64_t significand) {
    unsigned char raw[sizeof(Extended)] = {};
    std::memcpy(raw, &significand, 8);
    raw[8] = static_cast<unsigned char>(signExponent & 0xFF);
    raw[9] = static_cast<unsigned char>(signExponent >> 8);
    Extended x;
    std::memcpy(&x, raw, sizeof x);
    return x;
}

const Extended TWO_POW_127 = 0x1p127L;
const Extended INF = std::numeric_limits<Extended>::infinity();

struct ParseCase {
    std::string_view text;
    Extended expected;
};

void checkParse(const ParseCase* begin, const ParseCase* end) {
    for (const ParseCase* c = begin; c != end; ++c) {
        SCOPED_TRACE(testing::Message() << "text \"" << std::string(c->text) << "\"");
        EXPECT_TRUE(sameBits(parseNumber(c->text), c->expected));
    }
}

template <std::size_t N>
void checkParse(const ParseCase (&cases)[N]) {
    checkParse(cases, cases + N);
}

// ---------------------------------------------------------------------------

TEST(ParseNumber, ReadsLeadingDecimalNumber) {
    const ParseCase cases[] = {
        {"", 0.0L},
        {"abc", 0.0L},
        {"12abc", 12.0L},
        {"-5", -5.0L},
        {"+5", 5.0L},
        {"1,000", 1.0L},  // a comma ends the mantissa
        {" 3.5", 3.5L},
        {"\t\r\n 42", 42.0L},  // the four blanks
        {"00012.50", 12.5L},
        {".5", 0.5L},
        {"5.", 5.0L},
        {"-.5x", -0.5L},
        {"1.2.3", 0x9.99999999999999Ap-3L},  // a second point ends it: 1.2
        {"12 34", 12.0L},                    // no blanks inside a number
        {"5-3", 5.0L},                       // a later minus ends it
        {"1234567.25", 1234567.25L},
    };
    checkParse(cases);
}

TEST(ParseNumber, TextWithoutDigitsIsZero) {
    const ParseCase cases[] = {
        {".", 0.0L},        {"-", 0.0L},   {"+.", 0.0L},
        {"e5", 0.0L},       {".e5", 0.0L}, {"++5", 0.0L},  // a second sign leaves no digits
        {"- 5", 0.0L},                                     // so does a blank after the sign
        {"+-5", 0.0L},      {"   ", 0.0L}, {"-0", 0.0L},   // zero, not a negative zero
        {"-000.000", 0.0L},                                // all zeros: no significant digit
        {"0e9999", 0.0L},
    };
    checkParse(cases);
}

TEST(ParseNumber, OnlyFourCharactersCountAsBlanks) {
    const ParseCase cases[] = {
        {"\v5", 0.0L},
        {"\f5", 0.0L},
        {std::string_view("\0"
                          "5",
                          2),
         0.0L},  // NUL is an ordinary byte
        {"\xA0"
         "5",
         0.0L},  // so is a no-break space
        {" \t5", 5.0L},
    };
    checkParse(cases);
}

TEST(ParseNumber, IgnoresEverythingAfterTheNumber) {
    const ParseCase cases[] = {
        {std::string_view("12\0"
                          "34",
                          5),
         12.0L},
        {"7\xFF", 7.0L},
        {"7 e2", 7.0L},  // the exponent letter must follow directly
        {"7$", 7.0L},
    };
    checkParse(cases);
}

TEST(ParseNumber, ReadsExponent) {
    const ParseCase cases[] = {
        {"1.5e3", 1500.0L},
        {"1.5E+3", 1500.0L},
        {"1D-2", 0xA.3D70A3D70A3D70Ap-10L},  // 0.01; D means E
        {"1d-2", 0xA.3D70A3D70A3D70Ap-10L},
        {"1e-2x", 0xA.3D70A3D70A3D70Ap-10L},
        {"5e", 5.0L},  // a letter without digits is exponent 0
        {"5e+", 5.0L},
        {"5e-x", 5.0L},
        {"5E0", 5.0L},
        {".5e1", 5.0L},
        {"0.0012e3", 0x9.99999999999999Ap-3L},  // 1.2: leading zeros after the point shift q
        {"25e-1", 2.5L},
        {"1e27", 1000000000000000000000000000.0L},  // the largest exact power
    };
    checkParse(cases);
}

TEST(ParseNumber, KeepsEighteenSignificantDigits) {
    const ParseCase cases[] = {
        {"1234567890123456789", 1234567890123456780.0L},  // the 19th digit only counts
        {"99999999999999999999e-2", 999999999999999999.0L},
        {"123456789012345678", 123456789012345678.0L},
        {"0.123456789012345678", 0xF.CD6E9BA37B2F85Dp-7L},
        {"0.1234567890123456789", 0xF.CD6E9BA37B2F85Dp-7L},  // dropped, not rounded
        {"000000000000000000000001", 1.0L},                  // leading zeros are free
        {"0.000000000000000000000001e24", 1.0L},
        {"1000000000000000000000", 1000000000000000000000.0L},  // 22 digits, 18 kept, times 10^4
    };
    checkParse(cases);
}

TEST(ParseNumber, RoundsOrdinaryAmountsCorrectly) {
    // At most 18 digits and a power of ten up to 27: one rounding of the exact value.
    const ParseCase cases[] = {
        {"0.1", 0xC.CCCCCCCCCCCCCCDp-7L},
        {"0.01", 0xA.3D70A3D70A3D70Ap-10L},
        {"0.0012", 0x9.D495182A9930BE1p-13L},
        {"792.94", 0xC.63C28F5C28F5C29p+6L},
        {"345.89", 0xA.CF1EB851EB851ECp+5L},
        {"1138.83", 0x8.E5A8F5C28F5C28Fp+7L},
        {"1234.565", 0x9.A52147AE147AE14p+7L},
        {"0.9999999999999995", 0xF.FFFFFFFFFFFDBF9p-4L},
        {"99999.99999999999", 0xC.34FFFFFFFFFFA81p+13L},
        {"1e28", 0x8.13F3978F8940984p+90L},
        {"1e-28", 0xF.D87B5F28300CA0Ep-97L},
        {"1.11022302462516E-16", 0x8.000000000007045p-56L},
    };
    checkParse(cases);
}

TEST(ParseNumber, ClampsTheRange) {
    const ParseCase cases[] = {
        {"1e5000", TWO_POW_127},
        {"1E99999", TWO_POW_127},  // the exponent saturates at 9999
        {"1e4932", TWO_POW_127},   // 4933 digits before the point
        {"-1e5000", -TWO_POW_127},
        {"0.1e4934", TWO_POW_127},  // q = 4933 as well
        {"1e-5000", 0.0L},
        {"1e-4950", 0.0L},
        {"-1e-99999", 0.0L},
        {"1e4931", 0xA.C23C22116CBF8A4p+16377L},
        {"1e-300", 0xA.B70FE17C79AC6CAp-1000L},
        {"1e-4931", 0xB.E5B66ECBCE0B7B1p-16384L},
        {"1e-4932", 0x2.61247C8F29357Fp-16385L},  // a denormal
        // 10^4950 is beyond the extended range, so dividing by it gives zero
        {"123456789012345678e-4950", 0.0L},
    };
    checkParse(cases);
}

TEST(ParseNumber, SignAppliesToTheWholeValue) {
    const ParseCase cases[] = {
        {"-1e4931", -0xA.C23C22116CBF8A4p+16377L},
        {"-0.1", -0xC.CCCCCCCCCCCCCCDp-7L},
        {"-123456789012345678e-4950", -0.0L},  // the quotient underflows, then the sign
    };
    checkParse(cases);
}

TEST(ParseNumber, ReadsRadixIntegers) {
    const ParseCase cases[] = {
        {"&H10", 16.0L},
        {"&h1f", 31.0L},
        {"&B101", 5.0L},
        {"&O17", 15.0L},
        {"&Q17", 15.0L},
        {"&o17", 15.0L},
        {"&q17", 15.0L},
        // no letter: octal, and the 1 is the first digit
        {"&17", 15.0L},
        {"&H1G", 1.0L},
        {"&HaBc", 2748.0L},
        {"&B102", 2.0L},
        {"&O8", 0.0L},
        {"&8", 0.0L},
        {"&", 0.0L},
        {"&H", 0.0L},
        {"&Hx", 0.0L},
        // blanks before the "&" are skipped
        {" \t&H10", 16.0L},
        // a sign does not start a radix integer
        {"-&H10", 0.0L},
        {"&H10&&x", 16.0L},
    };
    checkParse(cases);
}

TEST(ParseNumber, RadixOverflowReadsAsZero) {
    const ParseCase cases[] = {
        {"&H10000000000000000", 0.0L},
        {"&H00000000000000000000001", 1.0L},  // leading zero digits never overflow
        {"&B1111111111111111111111111111111111111111111111111111111111111111", -1.0L},
        {"&B11111111111111111111111111111111111111111111111111111111111111111", 0.0L},
        {"&1777777777777777777777", -1.0L},  // 1 + 21 * 3 = 64 bits
        {"&2000000000000000000000", 0.0L},   // the top bit would fall out
        {"&HFFFFFFFFFFFFFFFF", -1.0L},
    };
    checkParse(cases);
}

TEST(ParseNumber, RadixSignRules) {
    const ParseCase cases[] = {
        {"&HFFFF?", 65535.0L},
        {"&HFFFF??", 65535.0L},
        {"&HFFFF???", 65535.0L},
        {"&HFFFFFFFFFFFFFFFF?", 0.0L},  // bit 63 with "?"
        {"&H7FFFFFFFFFFFFFFF?", 9223372036854775807.0L},
        {"&H0FFFF", 65535.0L},  // a first digit "0" reads 64 bits signed
        {"&H080000000", 2147483648.0L},
        {"&H0FFFFFFFFFFFFFFFF", -1.0L},
        {"&HFFFF", -1.0L},
        {"&H8000", -32768.0L},
        {"&H7FFF", 32767.0L},
        {"&HFFFF&", 65535.0L},
        {"&HFFFF&&", 65535.0L},
        {"&HFFFF%", -1.0L},
        {"&H8000&", 32768.0L},
        {"&HFFFFFFFF", -1.0L},
        {"&H80000000", -2147483648.0L},
        {"&H80000000&", -2147483648.0L},  // one "&" keeps the 32-bit sign
        {"&H80000000&&", 2147483648.0L},
        {"&H10000", 65536.0L},
        {"&H100000000", 4294967296.0L},
        {"&H8000000000000000", -9223372036854775808.0L},
        {"&177777", -1.0L},  // octal 0xFFFF
    };
    checkParse(cases);
}

// ---------------------------------------------------------------------------

TEST(RetainChars, KeepsNumberCharactersInOrder) {
    struct Case {
        std::string_view text;
        std::string_view set;
        std::string_view expected;
    };
    const Case cases[] = {
        {"$1,234.50", NUMBER_CHARS, "1234.50"},
        {" -12.5 ", NUMBER_CHARS, "-12.5"},
        {"12abc", NUMBER_CHARS, "12"},
        {"1-2.3.4", NUMBER_CHARS, "1-2.3.4"},
        {"1e5", NUMBER_CHARS, "15"},
        {"abc", NUMBER_CHARS, ""},
        {"", NUMBER_CHARS, ""},
        {"123", "", ""},
        {" 1.5E+20", NUMBER_CHARS, "1.520"},
        {"aAbB", "ab", "ab"},  // case-sensitive
        {std::string_view("1\0"
                          "2",
                          3),
         NUMBER_CHARS, "12"},
        {std::string_view("1\0"
                          "2",
                          3),
         std::string_view("\0"
                          "1",
                          2),
         std::string_view("1\0", 2)},
        {"\xE9"
         "5\xFF",
         "\xFF", "\xFF"},        // bytes above 127
        {"aaa", "aaaa", "aaa"},  // repeats in the set change nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "text \"" << std::string(c.text) << "\"");
        EXPECT_EQ(retainChars(c.text, c.set), std::string(c.expected));
    }
}

TEST(RetainChars, FilteredAmountsReadAsTheirValue) {
    struct Case {
        std::string_view text;
        Extended expected;
    };
    const Case cases[] = {
        {"$1,234.50", 1234.5L}, {" -12.5 ", -12.5L}, {"12abc", 12.0L}, {"1-2.3.4", 1.0L}, {"1e5", 15.0L}, {"abc", 0.0L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_TRUE(sameBits(parseNumber(retainChars(c.text, NUMBER_CHARS)), c.expected));
    }
}

// ---------------------------------------------------------------------------

TEST(PowerOfTen, ExactUpToTwentySeven) {
    Extended exact = 1.0L;
    for (int n = 0; n <= 27; ++n) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(sameBits(powerOfTen(n), exact));
        exact *= 10.0L;  // exact while the result has at most 64 significant bits
    }
    EXPECT_TRUE(sameBits(powerOfTen(27), 0xC.ECB8F27F4200F3Ap+86L));
    EXPECT_TRUE(sameBits(powerOfTen(20), 0xA.D78EBC5AC62p+63L));
}

TEST(PowerOfTen, BuildsLargerPowersFromTheTable) {
    struct Case {
        int n;
        Extended expected;
    };
    const Case cases[] = {
        {28, 0x8.13F3978F8940984p+90L},
        {32, 0x9.DC5ADA82B70B59Ep+103L},  // a table constant: the nearest value
        {64, 0xC.2781F49FFCFA6D5p+209L},  // nearest value, below the power
        {100, 0x9.24D692CA61BE758p+329L},
        {308, 0x8.E679C2F5E44FF9p+1020L},
        {1000, 0xF.38DB1F9DD3DAC06p+3318L},
        {4096, 0xC.46052028A20979Bp+13603L},
        {4097, 0xF.57866832CA8BD82p+13606L},  // 10^4096 times 10^1
        {4932, 0xD.72CB2A95C7EF6CDp+16380L},  // the largest finite one
        {4933, INF},
        {8191, INF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_TRUE(sameBits(powerOfTen(c.n), c.expected));
    }
}

// ---------------------------------------------------------------------------

struct DigitsCase {
    Extended x;
    int n;
    bool negative;
    std::string_view digits;
    int q;
};

void checkDigits(const DigitsCase& c) {
    const DecimalDigits d = decimalDigits(c.x, c.n);
    EXPECT_EQ(d.digits, std::string(c.digits));
    EXPECT_EQ(d.q, c.q);
    EXPECT_EQ(d.negative, c.negative);
}

TEST(DecimalDigits, SpecialValues) {
    const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
    const Extended smallestDenormal = std::numeric_limits<Extended>::denorm_min();
    const DigitsCase cases[] = {
        {0.0L, 15, false, "000000000000000", 1},
        {-0.0L, 15, false, "000000000000000", 1},
        {smallestDenormal, 19, false, "0000000000000000000", 1},
        {-smallestDenormal, 19, false, "0000000000000000000", 1},
        {nan, 15, false, "000000000000000", 1},
        {-nan, 15, false, "000000000000000", 1},
        {INF, 15, false, "999999999999999", 999},
        {-INF, 19, true, "9999999999999999999", 999},
        // Encodings the x87 rejects count as NaN: pseudo-infinity, unnormal;
        // a pseudo-denormal has exponent field 0.
        {fromPattern(0x7FFF, 0), 15, false, "000000000000000", 1},
        {fromPattern(0x4000, 0x4000000000000000ULL), 15, false, "000000000000000", 1},
        {fromPattern(0x0000, 0x8000000000000000ULL), 15, false, "000000000000000", 1},
        {fromPattern(0xFFFF, 0xC000000000000000ULL), 15, false, "000000000000000", 1},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        checkDigits(cases[i]);
    }
}

TEST(DecimalDigits, EighteenDigitsThenZeros) {
    const DigitsCase cases[] = {
        {1.0L, 19, false, "1000000000000000000", 1},
        {100000000000000000.0L, 19, false, "1000000000000000000", 18},  // 10^17
        {123456789012345678.0L, 19, false, "1234567890123456780", 18},
        {123456789012345678.0L, 18, false, "123456789012345678", 18},
        {-2.5L, 19, true, "2500000000000000000", 1},
        {0x1p-20L, 19, false, "9536743164062500000", -6},
        {0x8.000000000007045p-56L, 19, false, "1110223024625160000", -15},
        {std::numeric_limits<Extended>::max(), 19, false, "1189731495357231760", 4933},
        {std::numeric_limits<Extended>::min(), 19, false, "3362103143112093510", -4931},
        {-std::numeric_limits<Extended>::max(), 3, true, "119", 4933},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        checkDigits(cases[i]);
    }
}

TEST(DecimalDigits, RoundsOnTheNextDigitOnly) {
    const DigitsCase cases[] = {
        // the 16th digit is 5 and digits follow: still ties to even
        {0xF.CD6E9BA37B0852Dp-7L, 15, false, "123456789012344", 0},   // 0.12345678901234459
        {0xF.CD6E9BA37B291C1p-7L, 15, false, "123456789012346", 0},   // 0.1234567890123455
        {0xF.FFFFFFFFFFFDBF9p-4L, 15, false, "100000000000000", 1},   // carries out: one more digit
        {0xC.34FFFFFFFFFFA81p+13L, 15, false, "100000000000000", 6},  // 99999.99999999999
        {parseNumber("0.95"), 1, false, "1", 1},                      // "9", then 5: odd goes up and carries
        {0.25L, 1, false, "2", 0},                                    // "2", then 5: even stays
        {parseNumber("0.35"), 1, false, "4", 0},
        {parseNumber("0.26"), 1, false, "3", 0},
        {parseNumber("0.24"), 1, false, "2", 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        checkDigits(cases[i]);
    }
}

TEST(DecimalDigits, DigitCountIsClampedToOneThroughNineteen) {
    EXPECT_EQ(decimalDigits(5.0L, 0).digits, "5");
    EXPECT_EQ(decimalDigits(5.0L, -3).digits, "5");
    EXPECT_EQ(decimalDigits(5.0L, 40).digits, "5000000000000000000");
}

TEST(DecimalDigits, ExponentFollowsTheValueAcrossPowersOfTen) {
    // Just below a power of ten the digits are nines and q is one less; just
    // above, a one and zeros. 2^-50 apart, so the 18 digits tell them apart.
    const int exponents[] = {-4931, -300, -28, -16, -1, 0, 1, 15, 17, 18, 27, 28, 300, 4000, 4931};
    for (int e : exponents) {
        SCOPED_TRACE(e);
        const Extended power = parseNumber("1e" + std::to_string(e));
        const Extended below = power - power * 0x1p-50L;
        const Extended above = power + power * 0x1p-50L;
        const DecimalDigits b = decimalDigits(below, 18);
        const DecimalDigits a = decimalDigits(above, 18);
        EXPECT_EQ(b.q, e);
        EXPECT_EQ(b.digits.substr(0, 14), "99999999999999");
        EXPECT_EQ(a.q, e + 1);
        EXPECT_EQ(a.digits.substr(0, 14), "10000000000000");
        EXPECT_EQ(decimalDigits(power, 15).digits, "100000000000000");
        EXPECT_EQ(decimalDigits(power, 15).q, e + 1);
    }
}

// ---------------------------------------------------------------------------

TEST(NumberToText, CanonicalExamples) {
    struct Case {
        Extended x;
        std::string_view expected;
    };
    const Case cases[] = {
        {0.0L, " 0"},
        {-0.0L, " 0"},
        {5.0L, " 5"},
        {-5.0L, "-5"},
        {100.0L, " 100"},
        {parseNumber("0.1"), " .1"},
        {0.5L, " .5"},
        {-0.5L, "-.5"},
        {parseNumber("0.001"), " .001"},
        {parseNumber("0.0123"), " .0123"},
        {1.0L / 3.0L, " .333333333333333"},
        {2.0L / 3.0L, " .666666666666667"},
        {1.0L / 7.0L, " .142857142857143"},
        {100.0L / 3.0L, " 33.3333333333333"},
        {parseNumber("123.45"), " 123.45"},
        {parseNumber("-1234.565"), "-1234.565"},
        {123456789.0L, " 123456789"},
        {999999999999999.0L, " 999999999999999"},
        {1000000000000000.0L, " 1E+15"},
        {1234567890123456.0L, " 1.23456789012346E+15"},
        {100000000000000000000.0L, " 1E+20"},
        {parseNumber("1e-15"), " .000000000000001"},
        {parseNumber("1.5e-15"), " 1.5E-15"},
        {parseNumber("1e-16"), " 1E-16"},
        {1.0L / 30000.0L, " 3.33333333333333E-5"},
        {2.0L / 3000.0L, " 6.66666666666667E-4"},
        {parseNumber("0.9999999999999995"), " 1"},
        {INF, " 9.99999999999999E+998"},
        {-INF, "-9.99999999999999E+998"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.expected));
        EXPECT_EQ(numberToText(c.x), std::string(c.expected));
    }
}

TEST(NumberToText, EdgeCases) {
    struct Case {
        Extended x;
        std::string_view expected;
    };
    const Case cases[] = {
        {parseNumber("0.12345678901234459"), " .123456789012344"},  // 16th digit 5: to even
        {parseNumber("0.1234567890123455"), " .123456789012346"},
        {parseNumber("0.1234567890123456"), " .123456789012346"},  // 6 always rounds up
        {parseNumber("99999.99999999999"), " 100000"},             // carry adds a digit
        {parseNumber("1.11022302462516E-16"), " 1.11022302462516E-16"},
        {parseNumber("792.94") + parseNumber("345.89") - parseNumber("1138.83"), " 1.11022302462516E-16"},
        {parseNumber(".000000000000000111022302462516"), " 1.11022302462516E-16"},
        {parseNumber("0.000000000000001"), " .000000000000001"},  // 15 places still plain
        {parseNumber("0.000000000001234"), " .000000000001234"},  // 15 places: plain
        {parseNumber("0.0000000000001234"), " 1.234E-13"},        // 16 places: exponent
        {parseNumber("123456789012.345"), " 123456789012.345"},
        {parseNumber("-1e300"), "-1E+300"},
        {std::numeric_limits<Extended>::max(), " 1.18973149535723E+4932"},
        {-std::numeric_limits<Extended>::min(), "-3.36210314311209E-4932"},
        {std::numeric_limits<Extended>::denorm_min(), " 0"},
        {std::numeric_limits<Extended>::quiet_NaN(), " 0"},
        {0x1p127L, " 1.70141183460469E+38"},
        {-1.0L, "-1"},
        {1050.5L, " 1050.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.expected));
        EXPECT_EQ(numberToText(c.x), std::string(c.expected));
    }
}

TEST(NumberToText, ReadsBackAsTheSameText) {
    // Whatever the value, its text is at most 23 characters and reading the
    // text and writing it again changes nothing.
    const Extended values[] = {
        0.0L,
        1.0L / 3.0L,
        -2.0L / 3.0L,
        parseNumber("123456.789"),
        parseNumber("9.99999999999999E+998"),
        INF,
        -INF,
        parseNumber("9.99999999999999e4931"),
        parseNumber("1e-4000") / 3.0L,
        parseNumber("7e4000") / 3.0L,
        0x1.fffffffffffffffep+63L,
        0x1p-63L,
    };
    for (Extended x : values) {
        const std::string text = numberToText(x);
        SCOPED_TRACE(text);
        EXPECT_LE(text.size(), 23U);
        EXPECT_EQ(numberToText(parseNumber(text)), text);
    }
}

TEST(NumberToText, ExtremeTextsReadBackByTheRangeRules) {
    // The texts are well formed, but reading them follows the parser's range
    // rules: 4933 digits before the point give 2^127, and a power of ten past
    // the extended range divides the significand down to zero.
    const Extended largest = std::numeric_limits<Extended>::max();
    const Extended smallest = std::numeric_limits<Extended>::min();
    EXPECT_EQ(numberToText(largest), " 1.18973149535723E+4932");
    EXPECT_TRUE(sameBits(parseNumber(numberToText(largest)), TWO_POW_127));
    EXPECT_TRUE(sameBits(parseNumber(numberToText(-largest)), -TWO_POW_127));
    EXPECT_EQ(numberToText(smallest), " 3.36210314311209E-4932");
    EXPECT_TRUE(sameBits(parseNumber(numberToText(smallest)), 0.0L));
}

}  // namespace
}  // namespace roi
