// The calculator's own text-to-number and number-to-text conversions. Every step
// is a single extended operation rounded at 64 significand bits; no runtime
// library conversion is used, so glibc and both MinGW runtimes give the same bits.
#include "core/number_text.h"

#include <array>
#include <cstdint>
#include <cstring>

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
    0xB.EBC200000000000p+23L,    // 10^8
    0x8.E1BC9BF04000000p+50L,    // 10^16
    0x9.DC5ADA82B70B59Ep+103L,   // 10^32
    0xC.2781F49FFCFA6D5p+209L,   // 10^64
    0x9.3BA47C980E98CE0p+422L,   // 10^128
    0xA.A7EEBFB9DF9DE8Ep+847L,   // 10^256
    0xE.319A0AEA60E91C7p+1697L,  // 10^512
    0xC.976758681750C17p+3398L,  // 10^1024
    0x9.E8B3B5DC53D5DE5p+6800L,  // 10^2048
    0xC.46052028A20979Bp+13603L, // 10^4096
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
    zero,      // zero, denormals, NaN and the invalid encodings: all digits "0"
    infinite,  // all digits "9", q = 999
    finite,
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
        if (!(scaled < 0x1p64L)) {
            if (lastMove < 0) {
                break;  // would oscillate; cannot happen with errors of a few units
            }
            ++estimate;
            lastMove = 1;
            continue;
        }
        s = static_cast<std::uint64_t>(scaled);  // truncates
        const Extended fraction = scaled - static_cast<Extended>(s);  // exact
        if (fraction > 0.5L || (fraction == 0.5L && (s & 1U) != 0)) {
            ++s;
        }
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
        return bits.significand == (1ULL << 63) ? ValueKind::infinite : ValueKind::zero;
    }
    if (bits.exponent == 0 || (bits.significand >> 63) == 0) {
        // Zero, denormals, and unnormals (an invalid operand to the x87, which
        // makes a NaN of it).
        return ValueKind::zero;
    }
    return ValueKind::finite;
}

void writeEighteenDigits(std::uint64_t s, char* out) {
    for (int i = 17; i >= 0; --i) {
        out[i] = static_cast<char>('0' + static_cast<int>(s % 10));
        s /= 10;
    }
}

RawDigits rawDigits(Extended x, int n) {
    if (n < 1) {
        n = 1;
    } else if (n > 19) {
        n = 19;
    }
    RawDigits r{};
    r.count = n;
    const ExtendedBits bits = bitsOf(x);
    switch (classify(bits)) {
    case ValueKind::zero:
        std::memset(r.digits, '0', static_cast<std::size_t>(n));
        r.q = 1;
        r.negative = false;
        return r;
    case ValueKind::infinite:
        std::memset(r.digits, '9', static_cast<std::size_t>(n));
        r.q = 999;
        r.negative = bits.negative;
        return r;
    case ValueKind::finite:
        break;
    }

    // 1. Scale to an 18-digit integer.
    const Extended magnitude = bits.negative ? -x : x;
    int e = 0;
    const std::uint64_t s = scaledSignificand(magnitude, bits, e);

    // 2. The 18 digits and two "0"s; n + 1 of them are kept.
    char all[20];
    writeEighteenDigits(s, all);
    all[18] = '0';
    all[19] = '0';
    std::memcpy(r.digits, all, static_cast<std::size_t>(n));

    // 3. Round to n digits on digit n + 1 alone; ties go to an even digit n.
    const char decider = all[n];
    const bool odd = ((r.digits[n - 1] - '0') & 1) != 0;
    if (decider > '5' || (decider == '5' && odd)) {
        int i = n - 1;
        while (i >= 0 && r.digits[i] == '9') {
            r.digits[i] = '0';
            --i;
        }
        if (i >= 0) {
            ++r.digits[i];
        } else {
            r.digits[0] = '1';  // the rest are already "0"
            ++e;
        }
    }
    r.q = e + 1;
    r.negative = bits.negative;
    return r;
}

// ---------------------------------------------------------------------------
// Parsing

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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

// A radix integer; text starts just after the "&".
Extended parseRadix(const unsigned char* p, const unsigned char* end) {
    int base = 8;
    int shift = 3;
    if (p < end) {
        switch (*p) {
        case 'B':
        case 'b':
            base = 2;
            shift = 1;
            ++p;
            break;
        case 'H':
        case 'h':
            base = 16;
            shift = 4;
            ++p;
            break;
        case 'O':
        case 'o':
        case 'Q':
        case 'q':
            ++p;
            break;
        default:
            break;  // octal, and this character is the first digit
        }
    }

    // 1. Digits, shifted in; an overflowing pattern reads as 0.
    const bool firstIsZero = p < end && *p == '0';
    std::uint64_t pattern = 0;
    int digits = 0;
    for (; p < end; ++p) {
        const int v = digitValue(*p, base);
        if (v < 0) {
            break;
        }
        if ((pattern >> (64 - shift)) != 0) {
            return 0.0L;
        }
        const std::uint64_t shifted = pattern << shift;
        const std::uint64_t sum = shifted + static_cast<std::uint64_t>(v);
        if (sum < shifted) {
            return 0.0L;
        }
        pattern = sum;
        ++digits;
    }
    if (digits == 0) {
        return 0.0L;
    }

    // 2. Type suffix.
    enum class Suffix { none, percent, ampersand, doubleAmpersand, question };
    Suffix suffix = Suffix::none;
    if (p < end) {
        if (*p == '%') {
            suffix = Suffix::percent;
        } else if (*p == '&') {
            suffix = (p + 1 < end && p[1] == '&') ? Suffix::doubleAmpersand : Suffix::ampersand;
        } else if (*p == '?') {
            suffix = Suffix::question;
        }
    }

    // 3. Sign.
    std::int64_t value = 0;
    if (suffix == Suffix::question) {
        if ((pattern >> 63) != 0) {
            return 0.0L;
        }
        value = static_cast<std::int64_t>(pattern);
    } else if (firstIsZero) {
        value = static_cast<std::int64_t>(pattern);
    } else if (pattern < 0x10000ULL && (pattern & 0x8000ULL) != 0 && suffix != Suffix::ampersand &&
               suffix != Suffix::doubleAmpersand) {
        value = static_cast<std::int64_t>(pattern) - 0x10000;
    } else if (pattern >= 0x10000ULL && pattern <= 0xFFFFFFFFULL && (pattern & 0x80000000ULL) != 0 &&
               suffix != Suffix::doubleAmpersand) {
        value = static_cast<std::int64_t>(pattern) - 0x100000000LL;
    } else {
        value = static_cast<std::int64_t>(pattern);  // two's complement reinterpretation
    }
    return static_cast<Extended>(value);
}

Extended parseDecimal(const unsigned char* p, const unsigned char* end) {
    // 1. Sign.
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }

    // 2. Mantissa.
    std::uint64_t m = 0;
    int used = 0;                // significant digits accumulated into m, at most 18
    std::int64_t before = 0;     // significant digits before the point
    std::int64_t zerosAfter = 0; // zeros between the point and the first significant digit
    bool anyDigit = false;
    bool significant = false;
    bool point = false;
    for (; p < end; ++p) {
        const unsigned char c = *p;
        if (isDigit(c)) {
            anyDigit = true;
            if (!significant && c == '0') {
                if (point) {
                    ++zerosAfter;
                }
                continue;
            }
            significant = true;
            if (!point) {
                ++before;
            }
            if (used < 18) {
                m = m * 10 + static_cast<std::uint64_t>(c - '0');
                ++used;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit || !significant) {
        return 0.0L;
    }

    // 3. Exponent; a letter without digits means exponent 0.
    std::int64_t exponent = 0;
    if (p < end && (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd')) {
        const unsigned char* t = p + 1;
        bool negativeExponent = false;
        if (t < end && (*t == '+' || *t == '-')) {
            negativeExponent = *t == '-';
            ++t;
        }
        for (; t < end && isDigit(*t); ++t) {
            exponent = exponent * 10 + (*t - '0');
            if (exponent > 9999) {
                exponent = 9999;
            }
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }

    // 4. Scale: q digits before the point of the plain value.
    const std::int64_t r = before > 0 ? before : -zerosAfter;
    const std::int64_t q = r + exponent;
    Extended result = 0.0L;
    if (q >= 4933) {
        result = 0x1p127L;
    } else if (q <= -4933) {
        return 0.0L;
    } else {
        const int pw = static_cast<int>(q) - used;
        const Extended mantissa = static_cast<Extended>(m);  // exact: m < 10^18
        if (pw > 0) {
            result = mantissa * (pw < 28 ? EXACT_POWERS[static_cast<unsigned>(pw)] : powerOfTen(pw));
        } else if (pw < 0) {
            result = mantissa / (-pw < 28 ? EXACT_POWERS[static_cast<unsigned>(-pw)] : powerOfTen(-pw));
        } else {
            result = mantissa;
        }
    }
    return negative ? -result : result;
}

}  // namespace

Extended parseNumber(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    while (p < end && isBlank(*p)) {
        ++p;
    }
    if (p == end) {
        return 0.0L;
    }
    if (*p == '&') {
        return parseRadix(p + 1, end);
    }
    return parseDecimal(p, end);
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
    const RawDigits r = rawDigits(x, 15);
    int k = 15;
    while (k > 0 && r.digits[k - 1] == '0') {
        --k;
    }
    if (k == 0) {
        return " 0";
    }

    char out[32];
    int len = 0;
    out[len++] = r.negative ? '-' : ' ';
    const int q = r.q;
    bool exponentForm = false;
    if (q >= k) {
        if (q <= 15) {
            std::memcpy(out + len, r.digits, static_cast<std::size_t>(k));
            len += k;
            std::memset(out + len, '0', static_cast<std::size_t>(q - k));
            len += q - k;
        } else {
            exponentForm = true;
        }
    } else if (q > 0) {
        std::memcpy(out + len, r.digits, static_cast<std::size_t>(q));
        len += q;
        out[len++] = '.';
        std::memcpy(out + len, r.digits + q, static_cast<std::size_t>(k - q));
        len += k - q;
    } else if (k - q <= 15) {
        out[len++] = '.';
        std::memset(out + len, '0', static_cast<std::size_t>(-q));
        len += -q;
        std::memcpy(out + len, r.digits, static_cast<std::size_t>(k));
        len += k;
    } else {
        exponentForm = true;
    }

    if (exponentForm) {
        out[len++] = r.digits[0];
        if (k > 1) {
            out[len++] = '.';
            std::memcpy(out + len, r.digits + 1, static_cast<std::size_t>(k - 1));
            len += k - 1;
        }
        out[len++] = 'E';
        int e = q - 1;
        out[len++] = e >= 0 ? '+' : '-';
        if (e < 0) {
            e = -e;
        }
        char tmp[12];
        int t = 0;
        do {
            tmp[t++] = static_cast<char>('0' + e % 10);
            e /= 10;
        } while (e != 0);
        while (t > 0) {
            out[len++] = tmp[--t];
        }
    }
    return std::string(out, static_cast<std::size_t>(len));
}

}  // namespace roi
