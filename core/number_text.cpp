// The calculator's own text-to-number and number-to-text conversions. Every step
// is a single extended operation rounded at 64 significand bits; no runtime
// library conversion is used, so glibc and both MinGW runtimes give the same bits.
#include "core/number_text.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "core/rounding.h"

namespace roi {

namespace {

// ---------------------------------------------------------------------------
// Powers of ten

// The ten constants 10^(8 * 2^b), b = 0..9, each the extended value nearest to
// the power (ties to even). Worked out with exact big-integer arithmetic
// (10**n, shifted to a 64-bit significand and rounded by comparing the exact
// remainder with half a unit), so no compiler's decimal conversion is involved.
// 10^8 and 10^16 are exact; 10^64 and 10^1024 lie below the power, the others above.
constexpr std::array<Extended, 10> BINARY_POWERS = {
    0xB.EBC200000000000p+23L,     // 10^8
    0x8.E1BC9BF04000000p+50L,     // 10^16
    0x9.DC5ADA82B70B59Ep+103L,    // 10^32
    0xC.2781F49FFCFA6D5p+209L,    // 10^64
    0x9.3BA47C980E98CE0p+422L,    // 10^128
    0xA.A7EEBFB9DF9DE8Ep+847L,    // 10^256
    0xE.319A0AEA60E91C7p+1697L,   // 10^512
    0xC.976758681750C17p+3398L,   // 10^1024
    0x9.E8B3B5DC53D5DE5p+6800L,   // 10^2048
    0xC.46052028A20979Bp+13603L,  // 10^4096
};
constexpr Extended TEN_POW_4096 = BINARY_POWERS[9];

// 10^0 .. 10^27 are exact extended values; each step of the loop is an exact
// product, so no rounding (compile time or run time) enters the table.
constexpr std::array<Extended, 28> makeExactPowers() {
    std::array<Extended, 28> t{};
    Extended v = 1.0L;
    for (Extended& e : t) {
        e = v;
        v *= 10.0L;
    }
    return t;
}
constexpr std::array<Extended, 28> EXACT_POWERS = makeExactPowers();

// The product P of powerOfTen for 0 <= n <= 4096, built exactly as specified:
// the exact 10^(n mod 8), then one rounded product per set bit of n div 8.
Extended tablePower(int n) {
    Extended p = EXACT_POWERS[static_cast<unsigned>(n % 8)];
    unsigned bits = static_cast<unsigned>(n / 8);
    for (unsigned b = 0; bits != 0; ++b, bits >>= 1) {
        if (bits & 1U) {
            p *= BINARY_POWERS[b];
        }
    }
    return p;
}

// x * 10^d, or x / 10^-d, as the digit generator scales: beyond 4096 the
// constant 10^4096 is applied to x first, then the power of the remainder.
Extended scaleByPowerOfTen(Extended x, int d) {
    if (d >= 0) {
        if (d > 4096) {
            return (x * TEN_POW_4096) * powerOfTen(d - 4096);
        }
        return x * powerOfTen(d);
    }
    const int m = -d;
    if (m > 4096) {
        return (x / TEN_POW_4096) / powerOfTen(m - 4096);
    }
    return x / powerOfTen(m);
}

// ---------------------------------------------------------------------------
// The 80-bit pattern

struct ExtendedBits {
    std::uint64_t significand;  // explicit integer bit in bit 63
    unsigned exponent;          // biased, 15 bits
    bool negative;
};

ExtendedBits bitsOf(Extended x) {
    // x86 stores the 10 meaningful bytes first, little-endian; any padding follows.
    unsigned char raw[sizeof(Extended)];
    std::memcpy(raw, &x, sizeof raw);
    std::uint64_t significand = 0;
    std::memcpy(&significand, raw, 8);
    const unsigned signExponent = static_cast<unsigned>(raw[8]) | (static_cast<unsigned>(raw[9]) << 8);
    return {significand, signExponent & 0x7FFFU, (signExponent & 0x8000U) != 0};
}

// ---------------------------------------------------------------------------
// Digit generation

constexpr std::uint64_t TEN_POW_17 = 100000000000000000ULL;
constexpr std::uint64_t TEN_POW_18 = 1000000000000000000ULL;

enum class ValueKind {
    Zero,      // zero, denormals, NaN and the invalid encodings: all digits "0"
    Infinite,  // all digits "9", q = 999
    Finite,    // digits from the scaled significand
};

// Digits of one value, without heap use: up to 19 digits plus the scratch digit.
struct RawDigits {
    char digits[20];
    int count;
    int q;
    bool negative;
};

// S = round(|x| * 10^(17 - E)) with 10^17 <= S < 10^18; returns E through e.
// E is first estimated from the binary exponent and the top fraction bits
// (log2(1.f) ~ f, low by at most 0.09), then corrected by the range of S, which
// is what the digits depend on.
std::uint64_t scaledSignificand(Extended magnitude, const ExtendedBits& bits, int& e) {
    const std::int64_t binaryExponent = static_cast<std::int64_t>(bits.exponent) - 16383;
    const std::int64_t log2Fixed = binaryExponent * 256 + static_cast<std::int64_t>((bits.significand >> 55) & 0xFFU);
    // 78913 / 2^18 is log10(2) to within 8e-7; the shift floors negative values too.
    int estimate = static_cast<int>((log2Fixed * 78913) >> 26);

    std::uint64_t s = 0;
    int lastMove = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const Extended scaled = scaleByPowerOfTen(magnitude, 17 - estimate);
        // From 2^63 on, beyond what roundHalfEven returns, S is far above 10^18 anyway.
        if (!(scaled < 0x1p63L)) {
            if (lastMove < 0) {
                break;  // would oscillate; cannot happen with errors of a few units
            }
            ++estimate;
            lastMove = 1;
            continue;
        }
        s = static_cast<std::uint64_t>(roundHalfEven(scaled));
        if (s < TEN_POW_17 && lastMove <= 0) {
            --estimate;
            lastMove = -1;
            continue;
        }
        if (s > TEN_POW_18 && lastMove >= 0) {
            ++estimate;
            lastMove = 1;
            continue;
        }
        break;
    }
    // Keep the contract even if the loop gave up.
    if (s >= TEN_POW_18) {
        s /= 10;
        ++estimate;
    }
    if (s < TEN_POW_17) {
        s = TEN_POW_17;
    }
    e = estimate;
    return s;
}

ValueKind classify(const ExtendedBits& bits) {
    if (bits.exponent == 0x7FFFU) {
        // Only the pattern with just the integer bit set is an infinity; NaNs and
        // pseudo-infinities count as NaN.
        return bits.significand == (1ULL << 63) ? ValueKind::Infinite : ValueKind::Zero;
    }
    if (bits.exponent == 0 || (bits.significand >> 63) == 0) {
        // Zero, denormals, and unnormals (an invalid operand to the x87, which
        // makes a NaN of it).
        return ValueKind::Zero;
    }
    return ValueKind::Finite;
}

void writeEighteenDigits(std::uint64_t s, char* out) {
    for (int i = 17; i >= 0; --i) {
        out[i] = static_cast<char>('0' + static_cast<int>(s % 10));
        s /= 10;
    }
}

// Adds one to the last of n digits, carrying to the left; true when the carry
// leaves the first digit (the digits are then "1" and zeros).
bool incrementDigits(char* digits, int n) {
    int i = n - 1;
    while (i >= 0 && digits[i] == '9') {
        digits[i] = '0';
        --i;
    }
    if (i < 0) {
        digits[0] = '1';  // the rest are already "0"
        return true;
    }
    ++digits[i];
    return false;
}

RawDigits rawDigits(Extended x, int n) {
    if (n < 1) {
        n = 1;
    } else if (n > 19) {
        n = 19;
    }
    RawDigits r{};
    r.count = n;

    // Step 1: zero, NaN and infinity have fixed digits.
    const ExtendedBits bits = bitsOf(x);
    switch (classify(bits)) {
    case ValueKind::Zero:
        std::memset(r.digits, '0', static_cast<std::size_t>(n));
        r.q = 1;
        r.negative = false;
        return r;
    case ValueKind::Infinite:
        std::memset(r.digits, '9', static_cast<std::size_t>(n));
        r.q = 999;
        r.negative = bits.negative;
        return r;
    case ValueKind::Finite:
        break;
    }

    // Step 2: scale to an 18-digit integer.
    const Extended magnitude = bits.negative ? -x : x;
    int e = 0;
    const std::uint64_t s = scaledSignificand(magnitude, bits, e);

    // Step 3: the 18 digits and two "0"s; n + 1 of them are kept.
    char all[20];
    writeEighteenDigits(s, all);
    all[18] = '0';
    all[19] = '0';
    std::memcpy(r.digits, all, static_cast<std::size_t>(n));

    // Step 4: round to n digits on digit n + 1 alone; ties go to an even digit n.
    const char decider = all[n];
    const bool odd = ((r.digits[n - 1] - '0') & 1) != 0;
    if ((decider > '5' || (decider == '5' && odd)) && incrementDigits(r.digits, n)) {
        ++e;
    }
    r.q = e + 1;
    r.negative = bits.negative;
    return r;
}

// The longest digit run numberToText writes without an exponent.
constexpr int TEXT_DIGITS = 15;

// The exponent form: one digit before the point, "E", the exponent's sign and its
// digits without leading zeros: "1.5E+20", "1E-16".
void appendExponentForm(std::string& out, std::string_view digits, int q) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
        out.push_back('.');
        out.append(digits.substr(1));
    }
    out.push_back('E');
    const int e = q - 1;
    out.push_back(e >= 0 ? '+' : '-');
    unsigned magnitude = static_cast<unsigned>(e >= 0 ? e : -e);
    char reversed[12];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) {
        out.push_back(reversed[--count]);
    }
}

// True when the fixed form of k digits with q before the point needs no more than
// TEXT_DIGITS places (zeros between the point and the digits count).
bool fitsFixedForm(int k, int q) {
    if (q >= k) {
        return q <= TEXT_DIGITS;
    }
    return q > 0 || k - q <= TEXT_DIGITS;
}

// ---------------------------------------------------------------------------
// Parsing

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The count of blanks text starts with.
std::size_t blankCount(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    return i;
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Value of c as a digit of base, or -1.
int digitValue(unsigned char c, int base) {
    int v = 0;
    if (c >= '0' && c <= '9') {
        v = c - '0';
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else {
        return -1;
    }
    return v < base ? v : -1;
}

// The base a radix integer is written in, and the bits one of its digits holds.
struct RadixBase {
    int base;
    int shift;
};

// Step 1 of a radix integer: the base letter after the "&". Without one the base is
// octal and p stays on the character, which is then the first digit.
RadixBase readRadixBase(const unsigned char*& p, const unsigned char* end) {
    if (p == end) {
        return {8, 3};
    }
    switch (*p) {
    case 'B':
    case 'b':
        ++p;
        return {2, 1};
    case 'H':
    case 'h':
        ++p;
        return {16, 4};
    case 'O':
    case 'o':
    case 'Q':
    case 'q':
        ++p;
        return {8, 3};
    default:
        return {8, 3};
    }
}

// The digits of a radix integer as one 64-bit pattern.
struct RadixDigits {
    std::uint64_t pattern = 0;
    int count = 0;             // digits read
    bool overflow = false;     // a bit would have left the pattern
    bool firstIsZero = false;  // the first digit was "0": the pattern is read as signed 64 bits
};

// Step 2 of a radix integer: the digits, shifted in; p stops after the last digit.
RadixDigits readRadixDigits(const unsigned char*& p, const unsigned char* end, RadixBase radix) {
    RadixDigits digits;
    digits.firstIsZero = p < end && *p == '0';
    for (; p < end; ++p) {
        const int v = digitValue(*p, radix.base);
        if (v < 0) {
            break;
        }
        if ((digits.pattern >> (64 - radix.shift)) != 0) {
            digits.overflow = true;
            return digits;
        }
        const std::uint64_t shifted = digits.pattern << radix.shift;
        const std::uint64_t sum = shifted + static_cast<std::uint64_t>(v);
        if (sum < shifted) {
            digits.overflow = true;
            return digits;
        }
        digits.pattern = sum;
        ++digits.count;
    }
    return digits;
}

// The type suffix after a radix integer's digits, as far as it decides the sign.
enum class RadixSuffix { None, Percent, Ampersand, DoubleAmpersand, Question };

// Step 3 of a radix integer: the type suffix. "??" and "???" read as "?".
RadixSuffix readRadixSuffix(const unsigned char* p, const unsigned char* end) {
    if (p == end) {
        return RadixSuffix::None;
    }
    switch (*p) {
    case '%':
        return RadixSuffix::Percent;
    case '&':
        return (p + 1 < end && p[1] == '&') ? RadixSuffix::DoubleAmpersand : RadixSuffix::Ampersand;
    case '?':
        return RadixSuffix::Question;
    default:
        return RadixSuffix::None;
    }
}

// Step 4 of a radix integer: the pattern given its sign. A short pattern with its top
// bit set is negative unless the suffix asks for the wider type; "?" is unsigned, and
// a pattern it cannot hold reads as 0.
std::int64_t signedRadixValue(const RadixDigits& digits, RadixSuffix suffix) {
    const std::uint64_t pattern = digits.pattern;
    if (suffix == RadixSuffix::Question) {
        return (pattern >> 63) != 0 ? 0 : static_cast<std::int64_t>(pattern);
    }
    if (digits.firstIsZero) {
        return static_cast<std::int64_t>(pattern);
    }
    const bool wide = suffix == RadixSuffix::Ampersand || suffix == RadixSuffix::DoubleAmpersand;
    if (pattern < 0x10000ULL && (pattern & 0x8000ULL) != 0 && !wide) {
        return static_cast<std::int64_t>(pattern) - 0x10000;
    }
    if (pattern >= 0x10000ULL && pattern <= 0xFFFFFFFFULL && (pattern & 0x80000000ULL) != 0 &&
        suffix != RadixSuffix::DoubleAmpersand) {
        return static_cast<std::int64_t>(pattern) - 0x100000000LL;
    }
    return static_cast<std::int64_t>(pattern);  // two's complement reinterpretation
}

// A radix integer; text starts just after the "&".
Extended parseRadix(const unsigned char* p, const unsigned char* end) {
    // Step 1: the base.
    const RadixBase radix = readRadixBase(p, end);

    // Step 2: the digits; an overflowing pattern, or none, reads as 0.
    const RadixDigits digits = readRadixDigits(p, end, radix);
    if (digits.overflow || digits.count == 0) {
        return 0.0L;
    }

    // Step 3: the type suffix.
    const RadixSuffix suffix = readRadixSuffix(p, end);

    // Step 4: the sign, then the exact conversion.
    return static_cast<Extended>(signedRadixValue(digits, suffix));
}

// Significant digits past these only count: 10^18 < 2^64, so the kept ones are exact.
constexpr int SIGNIFICAND_DIGITS = 18;

// Exponent digits past this value leave it there; the range ends long before.
constexpr std::int64_t EXPONENT_CAP = 9999;

// The mantissa of a decimal number: its first significant digits and where the point
// stands among them.
struct Mantissa {
    std::uint64_t m = 0;                         // the digits accumulated, m < 10^18
    int used = 0;                                // significant digits accumulated into m
    std::int64_t before = 0;                     // significant digits before the point
    std::int64_t zerosAfter = 0;                 // zeros between the point and the first significant digit
    const unsigned char* significant = nullptr;  // the first significant digit, once read
};

// Step 2 of a decimal number: digits with at most one point; p stops at the first
// character that cannot continue the mantissa. Digits past the 18th only count.
Mantissa readMantissa(const unsigned char*& p, const unsigned char* end) {
    Mantissa mantissa;
    bool point = false;
    // Leading zeros, and a point among them, are not significant.
    for (; p < end; ++p) {
        if (*p == '0') {
            mantissa.zerosAfter += point ? 1 : 0;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (p == end || !isDigit(*p)) {
        return mantissa;
    }
    mantissa.significant = p;
    auto keep = [&mantissa](unsigned char digit) {
        if (mantissa.used < SIGNIFICAND_DIGITS) {
            mantissa.m = mantissa.m * 10 + static_cast<std::uint64_t>(digit - '0');
            ++mantissa.used;
        }
    };
    // Then the digits before the point, if it has not come yet, and those after it.
    if (!point) {
        for (; p < end && isDigit(*p); ++p) {
            keep(*p);
        }
        mantissa.before = p - mantissa.significant;
        point = p < end && *p == '.';
        p += point ? 1 : 0;
    }
    if (point) {
        for (; p < end && isDigit(*p); ++p) {
            keep(*p);
        }
    }
    return mantissa;
}

// Step 3 of a decimal number: the exponent after the mantissa, saturating at
// EXPONENT_CAP. Only a letter followed by digits (after an optional sign) is an
// exponent; p then stops after its digits, else it stays where it was.
bool readExponent(const unsigned char*& p, const unsigned char* end, std::int64_t& exponent) {
    const unsigned char* at = p;
    if (at == end || (*at != 'E' && *at != 'e' && *at != 'D' && *at != 'd')) {
        return false;
    }
    ++at;
    bool negative = false;
    if (at < end && (*at == '+' || *at == '-')) {
        negative = *at == '-';
        ++at;
    }
    if (at == end || !isDigit(*at)) {
        return false;
    }
    std::int64_t value = 0;
    for (; at < end && isDigit(*at); ++at) {
        value = value * 10 + (*at - '0');
        if (value > EXPONENT_CAP) {
            value = EXPONENT_CAP;
        }
    }
    exponent = negative ? -value : value;
    p = at;
    return true;
}

// m x 10^power with one rounding: m converts exactly (m < 10^18), and the power is
// exact up to 10^27, so ordinary amounts read correctly rounded.
Extended scaleMantissa(std::uint64_t m, int power) {
    const Extended mantissa = static_cast<Extended>(m);
    if (power > 0) {
        return mantissa * (power < 28 ? EXACT_POWERS[static_cast<unsigned>(power)] : powerOfTen(power));
    }
    if (power < 0) {
        return mantissa / (-power < 28 ? EXACT_POWERS[static_cast<unsigned>(-power)] : powerOfTen(-power));
    }
    return mantissa;
}

// What a decimal number beyond LARGEST_DIGITS_BEFORE_POINT reads as, with its sign.
constexpr Extended SATURATED_MAGNITUDE = 0x1p127L;

// The value of a scanned decimal number: one rounding of its significand, or 2^127 or 0
// beyond the range.
Extended decimalValue(const ScannedNumber& number) {
    // Without a significant digit, or too small, the number is 0 without a sign.
    if (number.digits.empty() || number.q < SMALLEST_DIGITS_BEFORE_POINT) {
        return 0.0L;
    }
    const Extended magnitude =
        number.q > LARGEST_DIGITS_BEFORE_POINT
            ? SATURATED_MAGNITUDE
            : scaleMantissa(number.significand, static_cast<int>(number.q) - number.significandDigits);
    // The sign, applied last.
    return number.negative ? -magnitude : magnitude;
}

}  // namespace

void appendFixedForm(std::string& out, std::string_view digits, int q) {
    const int k = static_cast<int>(digits.size());
    if (q >= k) {
        out.append(digits);
        out.append(static_cast<std::size_t>(q - k), '0');
    } else if (q > 0) {
        out.append(digits.substr(0, static_cast<std::size_t>(q)));
        out.push_back('.');
        out.append(digits.substr(static_cast<std::size_t>(q)));
    } else {
        out.push_back('.');
        out.append(static_cast<std::size_t>(-q), '0');
        out.append(digits);
    }
}

std::string_view skipBlanks(std::string_view text) {
    text.remove_prefix(blankCount(text));
    return text;
}

ScannedNumber scanDecimal(std::string_view text) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = begin + text.size();
    const unsigned char* p = begin;
    ScannedNumber number;

    // Step 1: the sign.
    if (p < end && (*p == '+' || *p == '-')) {
        number.negative = *p == '-';
        ++p;
    }

    // Step 2: the mantissa; without a significant digit nothing further is read.
    const Mantissa mantissa = readMantissa(p, end);
    number.end = static_cast<std::size_t>(p - begin);
    if (mantissa.significant == nullptr) {
        return number;
    }
    number.digits = std::string_view(text.data() + (mantissa.significant - begin),
                                     static_cast<std::size_t>(p - mantissa.significant));
    number.significand = mantissa.m;
    number.significandDigits = mantissa.used;

    // Step 3: the exponent.
    std::int64_t exponent = 0;
    number.exponentForm = readExponent(p, end, exponent);
    number.end = static_cast<std::size_t>(p - begin);

    // Step 4: q digits stand before the point of the value written out.
    const std::int64_t r = mantissa.before > 0 ? mantissa.before : -mantissa.zerosAfter;
    number.q = r + exponent;
    return number;
}

Extended parseNumber(std::string_view text) {
    text.remove_prefix(blankCount(text));
    if (text.empty()) {
        return 0.0L;
    }
    if (text.front() == '&') {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        return parseRadix(p + 1, p + text.size());
    }
    return decimalValue(scanDecimal(text));
}

std::string retainChars(std::string_view text, std::string_view set) {
    bool keep[256] = {};
    for (char c : set) {
        keep[static_cast<unsigned char>(c)] = true;
    }
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (keep[static_cast<unsigned char>(c)]) {
            result.push_back(c);
        }
    }
    return result;
}

Extended powerOfTen(int n) {
    // Outside 0..8191 the function stays total: negative n gives the reciprocal,
    // and anything past the range is beyond the extended range anyway.
    if (n < 0) {
        return 1.0L / powerOfTen(n < -8191 ? 8191 : -n);
    }
    if (n > 8191) {
        n = 8191;
    }
    Extended t = 1.0L;
    if (n > 4096) {
        t = TEN_POW_4096;
        n -= 4096;
    }
    return t * tablePower(n);
}

DecimalDigits decimalDigits(Extended x, int n) {
    const RawDigits r = rawDigits(x, n);
    DecimalDigits d;
    d.negative = r.negative;
    d.digits.assign(r.digits, static_cast<std::size_t>(r.count));
    d.q = r.q;
    return d;
}

std::string numberToText(Extended x) {
    // Step 1: 15 digits, trailing zeros dropped; a zero is " 0".
    const RawDigits r = rawDigits(x, TEXT_DIGITS);
    int k = TEXT_DIGITS;
    while (k > 0 && r.digits[k - 1] == '0') {
        --k;
    }
    if (k == 0) {
        return " 0";
    }
    const std::string_view digits(r.digits, static_cast<std::size_t>(k));

    // Step 2: the sign character, then the fixed form where it fits, else the exponent form.
    std::string text;
    text.reserve(24);
    text.push_back(r.negative ? '-' : ' ');
    if (fitsFixedForm(k, r.q)) {
        appendFixedForm(text, digits, r.q);
    } else {
        appendExponentForm(text, digits, r.q);
    }
    return text;
}

}  // namespace roi
