// Fuzzes numberToText and decimalDigits with any 80-bit pattern (the first 10
// input bytes). Checked against independent formulations:
//  - the 18 digits lie within 2 units of the 18th digit of the exact value,
//    worked out with big integers (this pins down the decimal exponent too);
//  - the canonical text is those 18 digits rounded to 15 on the 16th digit alone
//    and laid out by the layout rules, at most 23 characters;
//  - read back, the text writes the same text again, and it reads as the same
//    number as its digits written out without an exponent wherever both readings
//    use an exact power of ten.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/number_text.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Unsigned big integer, 32-bit limbs, least significant first.
using Big = std::vector<std::uint32_t>;

void trim(Big& a) {
    while (!a.empty() && a.back() == 0) {
        a.pop_back();
    }
}

void mulSmall(Big& a, std::uint32_t k) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : a) {
        const std::uint64_t v = static_cast<std::uint64_t>(limb) * k + carry;
        limb = static_cast<std::uint32_t>(v);
        carry = v >> 32;
    }
    if (carry != 0) {
        a.push_back(static_cast<std::uint32_t>(carry));
    }
}

void mulPow10(Big& a, int n) {
    for (; n >= 9; n -= 9) {
        mulSmall(a, 1000000000U);
    }
    for (; n > 0; --n) {
        mulSmall(a, 10U);
    }
}

void mulPow2(Big& a, int n) {
    a.insert(a.begin(), static_cast<std::size_t>(n / 32), 0U);
    for (int i = 0; i < n % 32; ++i) {
        mulSmall(a, 2U);
    }
}

Big fromU64(std::uint64_t v) {
    Big a{static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32)};
    trim(a);
    return a;
}

int compare(const Big& a, const Big& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

// a - b for a >= b.
Big subtract(const Big& a, const Big& b) {
    Big r = a;
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        std::int64_t v =
            static_cast<std::int64_t>(r[i]) - borrow - (i < b.size() ? static_cast<std::int64_t>(b[i]) : 0);
        borrow = v < 0 ? 1 : 0;
        if (v < 0) {
            v += std::int64_t{1} << 32;
        }
        r[i] = static_cast<std::uint32_t>(v);
    }
    trim(r);
    return r;
}

// |S * 10^u - m * 2^e| <= 2 * 10^u, all exact.
bool closeToExact(std::uint64_t s, int u, std::uint64_t m, int e) {
    const int dn = u < 0 ? -u : 0;
    const int en = e < 0 ? -e : 0;
    Big left = fromU64(s);
    mulPow10(left, u + dn);
    mulPow2(left, en);
    Big right = fromU64(m);
    mulPow2(right, e + en);
    mulPow10(right, dn);
    Big tolerance = fromU64(2);
    mulPow10(tolerance, u + dn);
    mulPow2(tolerance, en);
    const Big difference = compare(left, right) >= 0 ? subtract(left, right) : subtract(right, left);
    return compare(difference, tolerance) <= 0;
}

// The canonical layout of k digits (no trailing zero) with q before the point.
std::string layOut(bool negative, const std::string& digits, int q) {
    const int k = static_cast<int>(digits.size());
    std::string body;
    if (q >= k && q <= 15) {
        body = digits + std::string(static_cast<std::size_t>(q - k), '0');
    } else if (q > 0 && q < k) {
        body = digits.substr(0, static_cast<std::size_t>(q)) + "." + digits.substr(static_cast<std::size_t>(q));
    } else if (q <= 0 && k - q <= 15) {
        body = "." + std::string(static_cast<std::size_t>(-q), '0') + digits;
    } else {
        body = digits.substr(0, 1);
        if (k > 1) {
            body += "." + digits.substr(1);
        }
        body += q - 1 >= 0 ? "E+" : "E-";
        body += std::to_string(q - 1 >= 0 ? q - 1 : 1 - q);
    }
    return (negative ? "-" : " ") + body;
}

// The digits written out in full, without an exponent.
std::string plain(bool negative, const std::string& digits, int q) {
    const int k = static_cast<int>(digits.size());
    std::string body;
    if (q >= k) {
        body = digits + std::string(static_cast<std::size_t>(q - k), '0');
    } else if (q > 0) {
        body = digits.substr(0, static_cast<std::size_t>(q)) + "." + digits.substr(static_cast<std::size_t>(q));
    } else {
        body = "." + std::string(static_cast<std::size_t>(-q), '0') + digits;
    }
    return (negative ? "-" : "") + body;
}

bool sameBits(roi::Extended a, roi::Extended b) {
    return std::memcmp(&a, &b, 10) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char raw[sizeof(roi::Extended)] = {};
    std::memcpy(raw, data, std::min<std::size_t>(size, 10));
    roi::Extended x;
    std::memcpy(&x, raw, sizeof x);
    std::uint64_t m = 0;
    std::memcpy(&m, raw, 8);
    const unsigned exponent = (raw[8] | (static_cast<unsigned>(raw[9]) << 8)) & 0x7FFFU;
    const bool signBit = (raw[9] & 0x80U) != 0;

    const std::string text = roi::numberToText(x);
    require(text.size() >= 2 && text.size() <= 23);

    const bool normal = exponent != 0 && exponent != 0x7FFF && (m >> 63) != 0;
    if (!normal) {
        const bool infinity = exponent == 0x7FFF && m == (std::uint64_t{1} << 63);
        require(text == (infinity ? (signBit ? "-9.99999999999999E+998" : " 9.99999999999999E+998") : " 0"));
        return 0;
    }

    // 1. The 18 digits against the exact value.
    const roi::DecimalDigits d18 = roi::decimalDigits(x, 18);
    require(d18.digits.size() == 18 && d18.digits[0] != '0' && d18.negative == signBit);
    std::uint64_t s = 0;
    for (char c : d18.digits) {
        require(c >= '0' && c <= '9');
        s = s * 10 + static_cast<std::uint64_t>(c - '0');
    }
    require(closeToExact(s, d18.q - 18, m, static_cast<int>(exponent) - 16383 - 63));

    // 2. The 15 digits: the 18 rounded on the 16th alone, ties to even.
    std::string d15 = d18.digits.substr(0, 15);
    int q = d18.q;
    const char decider = d18.digits[15];
    if (decider > '5' || (decider == '5' && ((d15[14] - '0') & 1) != 0)) {
        int i = 14;
        while (i >= 0 && d15[static_cast<std::size_t>(i)] == '9') {
            d15[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d15[0] = '1';
            ++q;
        } else {
            ++d15[static_cast<std::size_t>(i)];
        }
    }
    const roi::DecimalDigits direct = roi::decimalDigits(x, 15);
    require(direct.digits == d15 && direct.q == q);
    require(roi::decimalDigits(x, 19).digits == d18.digits + "0");
    while (d15.back() == '0') {
        d15.pop_back();
    }
    require(text == layOut(signBit, d15, q));

    // 3. Reading back. Within the parser's range (no 2^127 clamp, no power of ten
    // beyond the extended range, no denormal) the text comes back unchanged.
    const roi::Extended back = roi::parseNumber(text);
    const int k = static_cast<int>(d15.size());
    if (q <= 4932 && q >= -4900) {
        require(roi::numberToText(back) == text);
    }
    if (q - k <= 27) {
        require(sameBits(roi::parseNumber(plain(signBit, d15, q)), back));
    }
    return 0;
}
