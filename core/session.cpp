// The session values and the arithmetic of the three commands. Every operand is
// re-read from its text with parseNumber at the moment of use, and every result
// is stored as its canonical text; nothing numeric survives between operations.
#include "core/session.h"

#include <algorithm>
#include <utility>

#include "core/number_text.h"

namespace roi {

namespace {

// A decimal number as significant digits and the count q of digits before the
// point: 0.d1d2... x 10^q.
struct Positional {
    bool negative = false;
    std::string digits;
    int q = 0;  // within the extended range's +-4933
};

// Written without an exponent, using only number characters:
// "1000000000000000", ".000000000000000111022302462516", "-123456789012345000000".
std::string layOut(const Positional& p) {
    std::size_t k = p.digits.size();
    while (k > 0 && p.digits[k - 1] == '0') {
        --k;
    }
    if (k == 0) {
        return "0";
    }
    std::string text;
    if (p.negative) {
        text.push_back('-');
    }
    appendFixedForm(text, std::string_view(p.digits.data(), k), p.q);
    return text;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The digits and point of a decimal number from text[i] on: the significant digits go
// to out.digits, before counts those ahead of the point and zerosAfter the zeros between
// the point and the first of them. i stops at the first character that is neither.
void readMantissa(std::string_view text, std::size_t& i, Positional& out, long long& before, long long& zerosAfter) {
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (!isDigit(c)) {
            break;
        } else if (out.digits.empty() && c == '0') {
            zerosAfter += point ? 1 : 0;
        } else {
            out.digits.push_back(c);
            before += point ? 0 : 1;
        }
    }
}

// A signed exponent of at least one digit from text[i] on, saturated at 9999 as the
// parser saturates it; false when no digit follows the sign.
bool readExponent(std::string_view text, std::size_t& i, long long& exponent) {
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !isDigit(text[i])) {
        return false;
    }
    exponent = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        exponent = std::min(exponent * 10 + (text[i] - '0'), 9999LL);
    }
    exponent = negative ? -exponent : exponent;
    return true;
}

// The leading number of text when it is written with an exponent ("1.5E-20"),
// read by the parser's grammar; false for anything else.
bool exponentNumber(std::string_view text, Positional& out) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) {
        ++i;
    }
    out = Positional{};
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        out.negative = text[i] == '-';
        ++i;
    }
    long long before = 0;
    long long zerosAfter = 0;
    readMantissa(text, i, out, before, zerosAfter);
    if (out.digits.empty() || i >= text.size()) {
        return false;
    }
    const char letter = text[i];
    if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd') {
        return false;
    }
    ++i;
    long long exponent = 0;
    if (!readExponent(text, i, exponent)) {
        return false;
    }
    const long long q = (before > 0 ? before : -zerosAfter) + exponent;
    if (q >= 4933) {
        out.digits = "1";  // every such text reads as 2^127; this is the shortest
        out.q = 4933;
    } else if (q <= -4933) {
        return false;  // reads as 0
    } else {
        out.q = static_cast<int>(q);
    }
    return true;
}

// The text under which a bankroll value goes to the file. The filter drops the
// blank of a canonical text; it would also drop the "E" and "+" of an exponent
// form (" 1.11022302462516E-16" would come back as 1.11022302462516), so such a
// number is written out positionally instead, with the same digits. That reads
// back bit for bit whenever the power of ten the canonical text stands for is
// exact (at most 27 zeros to append); beyond that the parser's 18-digit limit
// may move the value by a few units in the 64th bit, which still shows as the
// same 15 digits.
std::string savedText(const std::string& text) {
    std::string filtered = retainChars(text, NUMBER_CHARS);
    const Extended value = parseNumber(text);
    if (parseNumber(filtered) == value) {  // both zeros count as the same number
        return filtered;
    }
    Positional p;
    if (exponentNumber(text, p)) {
        return layOut(p);
    }
    // Not a number the filter can spoil this way (a radix integer, or letters
    // before the digits): save what the text counts as.
    const DecimalDigits d = decimalDigits(value, 15);
    p.negative = d.negative;
    p.digits = d.digits;
    p.q = d.q;
    return layOut(p);
}

}  // namespace

namespace {

// At namespace scope, not a function's static: it is made before main (nothing uses
// it earlier) and its first use needs no thread-safe guard, whose library code the
// program would otherwise carry.
SessionValues sessionValues;

}  // namespace

SessionValues& session() {
    return sessionValues;
}

void acceptInputs(SessionValues& s, const InputCells& cells) {
    s.totalWonText = retainChars(cells.won, NUMBER_CHARS);
    s.totalBetText = retainChars(cells.bet, NUMBER_CHARS);
    s.betsMadeText = std::string(cells.made);
    s.betsWonText = std::string(cells.wins);
    s.startingBankrollText = retainChars(cells.start, NUMBER_CHARS);
}

void advanceBankroll(SessionValues& s) {
    const Extended won = parseNumber(s.totalWonText);
    const Extended net = parseNumber(s.runningNetText);
    const Extended bet = parseNumber(s.totalBetText);
    s.runningNetText = numberToText((won + net) - bet);

    const Extended newNet = parseNumber(s.runningNetText);
    const Extended start = parseNumber(s.startingBankrollText);
    s.endingBankrollText = numberToText(newNet + start);
}

BankrollTexts bankrollToSave(const SessionValues& s) {
    return {savedText(s.startingBankrollText), savedText(s.endingBankrollText)};
}

void adoptBankroll(SessionValues& s, std::string first, std::string second) {
    s.startingBankrollText = std::move(first);
    s.endingBankrollText = std::move(second);
}

void computeResults(SessionValues& s) {
    // Each divisor must be strictly positive; anything else shows "0".
    {
        const Extended won = parseNumber(s.totalWonText);
        const Extended bet = parseNumber(s.totalBetText);
        s.roiText = bet > 0.0L ? numberToText(((won - bet) / bet) + 1.0L) : "0";
    }
    {
        const Extended made = parseNumber(s.betsMadeText);
        const Extended wins = parseNumber(s.betsWonText);
        s.winPercentText = (made > 0.0L && !(made < wins)) ? numberToText((wins / made) * 100.0L) : "0";
    }
    {
        const Extended won = parseNumber(s.totalWonText);
        const Extended wins = parseNumber(s.betsWonText);
        s.averageMutuelText = wins > 0.0L ? numberToText(won / wins) : "0";
    }
}

void clearInputs(SessionValues& s) {
    s.totalWonText = "0";
    s.totalBetText = "0";
    s.betsMadeText = "0";
    s.betsWonText = "0";
}

void clearBankrolls(SessionValues& s) {
    clearInputs(s);
    s.startingBankrollText = "0";
    s.endingBankrollText = "0";
    s.runningNetText = "0";
}

}  // namespace roi
