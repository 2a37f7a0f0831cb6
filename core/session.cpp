// The session values and the arithmetic of the three commands. Every operand is
// re-read from its text with parseNumber at the moment of use, and every result
// is stored as its canonical text; nothing numeric survives between operations.
#include "core/session.h"

#include <utility>

#include "core/number_text.h"

namespace roi {

namespace {

// The digits of a canonical value laid out without an exponent, sign first:
// "1000000000000000", ".000000000000000111022302462516", "-123456789012345000000".
std::string plainText(Extended value) {
    const DecimalDigits d = decimalDigits(value, 15);
    std::size_t k = d.digits.size();
    while (k > 0 && d.digits[k - 1] == '0') {
        --k;
    }
    if (k == 0) {
        return "0";
    }
    const std::string_view digits(d.digits.data(), k);
    const long long q = d.q;
    const long long count = static_cast<long long>(k);
    std::string text;
    if (d.negative) {
        text.push_back('-');
    }
    if (q >= count) {
        text.append(digits);
        text.append(static_cast<std::size_t>(q - count), '0');
    } else if (q > 0) {
        text.append(digits.substr(0, static_cast<std::size_t>(q)));
        text.push_back('.');
        text.append(digits.substr(static_cast<std::size_t>(q)));
    } else {
        text.push_back('.');
        text.append(static_cast<std::size_t>(-q), '0');
        text.append(digits);
    }
    return text;
}

// The text under which a bankroll value goes to the file. The filter drops the
// blank of a canonical text; it would also drop the "E" and "+" of an exponent
// form (" 1.11022302462516E-16" would come back as 1.11022302462516), so such a
// value is written out positionally instead. That reads back as the same number
// whenever the value has at most 45 digits before the point; beyond that the
// 18-digit limit of the parser can move it by a few units in the 64th bit, which
// still shows as the same 15 digits.
std::string savedText(const std::string& text) {
    std::string filtered = retainChars(text, NUMBER_CHARS);
    const Extended value = parseNumber(text);
    if (parseNumber(filtered) == value) {  // both zeros count as the same number
        return filtered;
    }
    return plainText(value);
}

}  // namespace

SessionValues& session() {
    static SessionValues values;
    return values;
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
