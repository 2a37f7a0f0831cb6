// Picture masks: copies a mask's literal text and formats one number into its
// numeric field, rounded, grouped, signed and right-aligned. The digits come from
// decimalDigits; this file only chooses which of them to show and lays them out.
#include "core/picture_mask.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

namespace roi {
namespace {

// decimalDigits(x, 19): 18 significant digits and one "0".
constexpr int MASK_DIGITS = 19;

// A fixed-form field that would show more digits than this takes the exponent form.
constexpr std::int64_t MAX_FIXED_DIGITS = 19;

// Carets given to a fixed-form field that switches to the exponent form, by the
// size of the exponent it will show (the exponent gets carets - 2 digits).
struct SwitchedExponent {
    std::int64_t largestExponent;
    int carets;
};
constexpr SwitchedExponent SWITCHED_EXPONENTS[] = {
    {99, 4},
    {999, 5},
    {std::numeric_limits<std::int64_t>::max(), 6},
};

// Caret runs that make an exponent field; any other run length ends the mask.
constexpr std::size_t MIN_CARETS = 3;
constexpr std::size_t MAX_CARETS = 6;

// Pairs that begin another field (or a text field) and so end a literal tail.
constexpr std::string_view TAIL_STOP_PAIRS[] = {"+#", "+.", ".#", "$$", ",.", ",,", "\\\\", "\\ "};

// The result text; whatever would go past MASK_OUTPUT_LIMIT is dropped.
class LimitedText {
public:
    void put(char c) {
        if (text_.size() < MASK_OUTPUT_LIMIT) {
            text_.push_back(c);
        }
    }
    void put(std::string_view s) { text_.append(s.substr(0, room())); }
    void repeat(char c, std::int64_t count) {
        if (count > 0) {
            const auto wanted = static_cast<std::uint64_t>(count);
            text_.append(static_cast<std::size_t>(wanted < room() ? wanted : room()), c);
        }
    }
    std::string take() { return std::move(text_); }

private:
    std::size_t room() const { return MASK_OUTPUT_LIMIT - text_.size(); }
    std::string text_;
};

// A numeric field as gathered from the mask, before the number adjusts it.
struct Field {
    std::int64_t width = 0;     // W: characters the field occupies
    std::int64_t integers = 0;  // I: digit positions before the point
    std::int64_t decimals = 0;  // D: digit positions after the point
    int carets = 0;             // X: 0, or 3 to 6 for the exponent form
    bool point = false;
    bool grouping = false;     // "," between groups of three integer digits
    bool leadingPlus = false;  // "+" before the field: always show a sign
    char trailingSign = 0;     // '+' or '-' after the field, or 0
    bool currency = false;     // "$" floats before the first digit
    char fill = ' ';           // padding on the left; "*" with "**"
};

enum class PrefixEnd {
    FieldBody,  // "#", "," or ".#" at pos begins the field body
    NoBody,     // the field ends before any body character; pos starts the tail
    MaskEnds,   // nothing more is written and x is ignored
};

// The field markers the prefix has read so far; each may appear once.
struct PrefixMarkers {
    bool plus = false;
    bool fill = false;        // "*" and its fill character
    bool dollars = false;     // "$$"
    bool fillDollar = false;  // "$" directly after the fill character
};

// A "+" at pos: the field always shows a sign. A second "+" ends the prefix.
std::optional<PrefixEnd> readPlus(std::size_t& pos, Field& field, PrefixMarkers& markers) {
    if (markers.plus) {
        return PrefixEnd::NoBody;
    }
    markers.plus = true;
    field.leadingPlus = true;
    field.width += 1;
    ++pos;
    return std::nullopt;
}

// A "*" at pos: the fill character after it, and a "$" right after that. Empty when
// the prefix goes on after them.
std::optional<PrefixEnd> readFill(std::string_view mask, std::size_t& pos, Field& field, PrefixMarkers& markers,
                                  LimitedText& out) {
    // A repeated marker is checked first: it ends the prefix even as the last character.
    if (markers.fill || markers.dollars) {
        return PrefixEnd::NoBody;
    }
    if (pos + 1 == mask.size()) {
        out.put(mask[pos]);
        return PrefixEnd::MaskEnds;
    }
    markers.fill = true;
    field.fill = mask[pos + 1];
    field.integers += 2;
    field.width += 2;
    pos += 2;
    if (pos < mask.size() && mask[pos] == '$') {
        markers.fillDollar = true;
        field.currency = true;
        field.width += 1;
        ++pos;
    }
    return std::nullopt;
}

// Step 1: copies the literal prefix and gathers the markers that belong to the field.
PrefixEnd readPrefix(std::string_view mask, std::size_t& pos, Field& field, LimitedText& out) {
    PrefixMarkers markers;
    while (pos < mask.size()) {
        const char c = mask[pos];
        const bool last = pos + 1 == mask.size();
        const char next = last ? '\0' : mask[pos + 1];
        switch (c) {
        case '_':
            if (last) {
                return PrefixEnd::MaskEnds;
            }
            out.put(next);
            pos += 2;
            continue;
        case '#':
        case ',':
            return PrefixEnd::FieldBody;
        case '.':
            if (!last && next == '#') {
                return PrefixEnd::FieldBody;
            }
            break;
        case '+':
            if (const std::optional<PrefixEnd> end = readPlus(pos, field, markers)) {
                return *end;
            }
            continue;
        case '*':
            if (const std::optional<PrefixEnd> end = readFill(mask, pos, field, markers, out)) {
                return *end;
            }
            continue;
        case '$':
            if (markers.dollars || markers.fillDollar || last) {
                return PrefixEnd::NoBody;
            }
            if (next == '$') {
                markers.dollars = true;
                field.currency = true;
                field.integers += 1;
                field.width += 2;
                pos += 2;
                continue;
            }
            break;
        case '^':
            return PrefixEnd::MaskEnds;
        case '!':
        case '&':
        case '\\':
            // Text fields: this system never formats one, but they end the prefix.
            return PrefixEnd::NoBody;
        default:
            break;
        }
        out.put(c);
        ++pos;
    }
    return PrefixEnd::MaskEnds;
}

// Step 2: reads the field body from pos. False for a bad caret run, which ends the mask.
bool readBody(std::string_view mask, std::size_t& pos, Field& field) {
    while (pos < mask.size()) {
        const char c = mask[pos];
        if (c == '#') {
            (field.point ? field.decimals : field.integers) += 1;
        } else if (c == '.') {
            if (field.point) {
                return true;
            }
            field.point = true;
        } else if (c == ',') {
            if (field.point) {
                return true;
            }
            field.grouping = true;
            field.integers += 1;
        } else if (c == '^') {
            std::size_t run = 0;
            while (pos < mask.size() && mask[pos] == '^') {
                ++run;
                ++pos;
            }
            field.width += static_cast<std::int64_t>(run);
            field.grouping = false;
            if (run < MIN_CARETS || run > MAX_CARETS) {
                return false;
            }
            field.carets = static_cast<int>(run);
            if (pos < mask.size() && (mask[pos] == '+' || mask[pos] == '-') && !field.leadingPlus) {
                field.trailingSign = mask[pos];
                field.width += 1;
                ++pos;
            }
            return true;
        } else if (c == '+' || c == '-') {
            if (!field.leadingPlus) {
                field.trailingSign = c;
                field.width += 1;
                ++pos;
            }
            return true;
        } else {
            return true;
        }
        field.width += 1;
        ++pos;
    }
    return true;
}

// The digit string of decimalDigits behind `lead` zeros, endless with "0" digits.
class DigitSource {
public:
    DigitSource(std::string digits, std::int64_t lead) : digits_(std::move(digits)), lead_(lead) {}

    char at(std::int64_t i) const {
        const std::int64_t j = i - lead_;
        return j >= 0 && j < static_cast<std::int64_t>(digits_.size()) ? digits_[static_cast<std::size_t>(j)] : '0';
    }
    bool anyNonZeroAfter(std::int64_t i) const {
        for (std::int64_t j = i + 1; j < lead_ + static_cast<std::int64_t>(digits_.size()); ++j) {
            if (at(j) != '0') {
                return true;
            }
        }
        return false;
    }
    // The first n digits, rounded on the ones after them; the bool is a carry out
    // of the first digit, which leaves the digits all "0".
    std::pair<std::string, bool> rounded(std::int64_t n) const {
        std::string kept;
        kept.reserve(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) {
            kept.push_back(at(i));
        }
        const char first = at(n);
        bool up = first > '5';
        if (first == '5') {
            // A tie only when every later digit is "0"; then the even digit wins.
            up = anyNonZeroAfter(n) || (n > 0 && (kept.back() - '0') % 2 == 1);
        }
        if (!up) {
            return {kept, false};
        }
        for (std::size_t i = kept.size(); i-- > 0;) {
            if (kept[i] != '9') {
                ++kept[i];
                return {kept, false};
            }
            kept[i] = '0';
        }
        return {kept, true};
    }

private:
    std::string digits_;
    std::int64_t lead_;
};

std::string decimalText(std::int64_t n) {
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + n % 10));
        n /= 10;
    } while (n > 0);
    return text;
}

// Step 3.2: a sign without a marker of its own takes an integer position, or widens
// the field when there is none to spare.
void makeRoomForSign(Field& field, bool negative) {
    if ((negative || field.carets > 0) && !field.leadingPlus && field.trailingSign == 0) {
        if (field.integers >= 2 || (field.integers == 1 && field.decimals >= 1)) {
            field.integers -= 1;
        } else {
            field.width += 1;
        }
    }
}

// Step 3.3: a fixed-form field that would show too many digits switches to the
// exponent form; gives the carets the field ends up with (0 for the fixed form).
int chooseForm(Field& field, std::int64_t q) {
    if (field.carets > 0 || q + field.decimals <= MAX_FIXED_DIGITS) {
        return field.carets;
    }
    if (field.integers + field.decimals == 0) {
        // Only an empty field gets here (a caret field always has a digit
        // position): its mantissa keeps one digit, or nothing would stand before the "E".
        field.integers = 1;
        field.width += 1;
    }
    const std::int64_t distance = q > field.integers ? q - field.integers : field.integers - q;
    int carets = 0;
    for (const SwitchedExponent& s : SWITCHED_EXPONENTS) {
        if (distance <= s.largestExponent) {
            carets = s.carets;
            break;
        }
    }
    field.width += carets;
    return carets;
}

// The digits a field shows. integers stays empty when no integer digit shows.
struct ShownDigits {
    std::string integers;
    std::string fraction;
    std::int64_t exponent = 0;  // exponent form only
};

// Step 3.4, exponent form: the field's integer positions are all filled, and the
// exponent says where the point really stands.
ShownDigits exponentDigits(const Field& field, std::string digits, std::int64_t q) {
    ShownDigits shown;
    shown.exponent = q - field.integers;
    auto [kept, carry] = DigitSource(std::move(digits), 0).rounded(field.integers + field.decimals);
    if (carry && !kept.empty()) {
        kept[0] = '1';
        shown.exponent += 1;
    }
    shown.integers = kept.substr(0, static_cast<std::size_t>(field.integers));
    shown.fraction = kept.substr(static_cast<std::size_t>(field.integers));
    return shown;
}

// Makes the field wide enough for q integer digits.
void widenForIntegers(Field& field, std::int64_t q) {
    if (q > field.integers) {
        field.width += q - field.integers;
        field.integers = q;
    }
}

// Step 3.4, fixed form: every integer digit shows, the decimals are rounded, and a
// rounding carry adds a digit that widens the field.
ShownDigits fixedDigits(Field& field, std::string digits, std::int64_t q) {
    std::int64_t lead = 0;
    if (q <= 0) {
        // Every zero between the point and the first digit, not only 18 of
        // them: with fewer, 18 or more decimals would show a tiny value too large.
        lead = -q;
        q = 0;
    }
    widenForIntegers(field, q);
    const DigitSource source(std::move(digits), lead);
    std::string kept;
    if (q + field.decimals == 0) {
        // No digit is kept: the value shows as one digit, "1" from one half up.
        kept.assign(1, source.at(0) >= '5' ? '1' : '0');
        q = 1;
    } else {
        bool carry = false;
        std::tie(kept, carry) = source.rounded(q + field.decimals);
        if (carry) {
            kept.insert(kept.begin(), '1');
            q += 1;
        }
    }
    widenForIntegers(field, q);
    ShownDigits shown;
    shown.integers = kept.substr(0, static_cast<std::size_t>(q));
    shown.fraction = kept.substr(static_cast<std::size_t>(q));
    return shown;
}

// The integer digits, with "," between groups of three when the field groups them;
// "0" when the field has integer positions but no integer digit shows.
void appendIntegers(std::string& content, const Field& field, const std::string& integers) {
    if (field.integers <= 0) {
        return;
    }
    if (integers.empty()) {
        content += '0';
    }
    for (std::size_t i = 0; i < integers.size(); ++i) {
        const std::size_t fromRight = integers.size() - i;
        if (field.grouping && i > 0 && fromRight % 3 == 0) {
            content += ',';
        }
        content += integers[i];
    }
}

// "E", the exponent's sign and carets - 2 digits; a longer exponent widens the field.
void appendExponent(std::string& content, Field& field, int carets, std::int64_t exponent) {
    content += 'E';
    content += exponent >= 0 ? '+' : '-';
    const std::string digits = decimalText(exponent >= 0 ? exponent : -exponent);
    const std::int64_t places = carets - 2;
    const auto written = static_cast<std::int64_t>(digits.size());
    if (written < places) {
        content.append(static_cast<std::size_t>(places - written), '0');
    } else {
        field.width += written - places;
    }
    content += digits;
}

// Step 3.5: the field's content, left to right: sign, "$", digits, point and
// decimals, exponent, trailing sign.
std::string fieldContent(Field& field, bool negative, int carets, const ShownDigits& shown) {
    std::string content;
    if (negative && field.trailingSign == 0) {
        content += '-';
    } else if (!negative && field.leadingPlus) {
        content += '+';
    }
    if (field.currency) {
        content += '$';
    }
    appendIntegers(content, field, shown.integers);
    if (field.point) {
        content += '.';
        content += shown.fraction;
    }
    if (carets > 0) {
        appendExponent(content, field, carets, shown.exponent);
    }
    if (field.trailingSign == '-') {
        content += negative ? '-' : ' ';
    } else if (field.trailingSign == '+') {
        content += negative ? '-' : '+';
    }
    return content;
}

// Step 3: formats x into the field and writes it right-aligned.
void writeNumber(Field field, Extended x, LimitedText& out) {
    // Step 3.1: digits, point position and sign. -0.004 is negative, -0 is not.
    DecimalDigits number = decimalDigits(x, MASK_DIGITS);
    const bool negative = number.negative;

    // Step 3.2: room for the sign.
    makeRoomForSign(field, negative);

    // Step 3.3: fixed or exponent form.
    const int carets = chooseForm(field, number.q);

    // Step 3.4: the digits shown, rounded.
    const ShownDigits shown = carets > 0 ? exponentDigits(field, std::move(number.digits), number.q)
                                         : fixedDigits(field, std::move(number.digits), number.q);

    // Step 3.5: the content.
    const std::string content = fieldContent(field, negative, carets, shown);

    // Step 3.6: right-aligned in W; never cut.
    out.repeat(field.fill, field.width - static_cast<std::int64_t>(content.size()));
    out.put(content);
}

bool stopsTail(std::string_view mask, std::size_t pos) {
    for (std::string_view pair : TAIL_STOP_PAIRS) {
        if (mask.substr(pos, 2) == pair) {
            return true;
        }
    }
    return false;
}

// Step 4: copies the literal tail up to the next field or the end of the mask.
void copyTail(std::string_view mask, std::size_t pos, LimitedText& out) {
    while (pos < mask.size()) {
        const char c = mask[pos];
        const bool last = pos + 1 == mask.size();
        if (c == '_') {
            out.put(last ? c : mask[pos + 1]);
            pos += 2;
            continue;
        }
        if (c == '!' || c == '&' || c == '#') {
            return;
        }
        if (!last && (c == '*' || stopsTail(mask, pos))) {
            return;
        }
        out.put(c);
        ++pos;
    }
}

}  // namespace

// 1. literal prefix and the field's markers; 2. field body; 3. the number in the
// field; 4. literal tail. The mask would start again from its first character for
// a further number; with one number the text ends where the first field's tail ends.
std::string formatWithMask(std::string_view mask, Extended x) {
    LimitedText out;
    std::size_t pos = 0;
    Field field;
    switch (readPrefix(mask, pos, field, out)) {
    case PrefixEnd::MaskEnds:
        return out.take();
    case PrefixEnd::FieldBody:
        if (!readBody(mask, pos, field)) {
            return out.take();
        }
        break;
    case PrefixEnd::NoBody:
        break;
    }
    writeNumber(field, x, out);
    copyTail(mask, pos, out);
    return out.take();
}

}  // namespace roi
