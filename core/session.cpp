// The session values and the arithmetic of the three commands. Every operand is
// re-read from its text with parseNumber at the moment of use, and every result
// is stored as its canonical text; nothing numeric survives between operations.
#include "core/session.h"

#include <string>
#include <utility>

#include "core/number_text.h"

namespace roi {

namespace {

// A decimal number as significant digits and the count q of digits before the
// point: 0.d1d2... x 10^q.
struct Positional {
    bool negative = false;
    std::string digits;
    int q = 0;  // within the parser's range, one beyond it at most
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

// The leading number of text when it is written with an exponent ("1.5E-20"), as
// the parser scans it; false for anything else, and for a number that reads as 0.
bool exponentNumber(std::string_view text, Positional& out) {
    const ScannedNumber number = scanDecimal(skipBlanks(text));
    if (number.digits.empty() || !number.exponentForm || number.q < SMALLEST_DIGITS_BEFORE_POINT) {
        return false;
    }
    out.negative = number.negative;
    if (number.q > LARGEST_DIGITS_BEFORE_POINT) {
        out.digits = "1";  // every such text reads as 2^127; this is the shortest
        out.q = static_cast<int>(LARGEST_DIGITS_BEFORE_POINT) + 1;
    } else {
        out.digits = number.digits;
        std::erase(out.digits, '.');
        out.q = static_cast<int>(number.q);
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

void adoptBankroll(SessionValues& s, std::string starting, std::string ending) {
    s.startingBankrollText = std::move(starting);
    s.endingBankrollText = std::move(ending);
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
