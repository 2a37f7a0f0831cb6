// Session arithmetic: the texts the three commands leave in the session values.
#include "core/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "core/number_text.h"

namespace roi {
namespace {

bool sameBits(Extended a, Extended b) {
    return std::memcmp(&a, &b, 10) == 0;
}

// The texts as the five cells hold them.
struct Cells {
    std::string won, bet, made, wins, start;
    InputCells view() const { return {won, bet, made, wins, start}; }
};

// One CALCULATE on the session values, with the file round trip replaced by
// adopting the saved texts (what an intact file gives back).
void calculate(SessionValues& s, const Cells& cells) {
    acceptInputs(s, cells.view());
    advanceBankroll(s);
    BankrollTexts saved = bankrollToSave(s);
    adoptBankroll(s, std::move(saved.starting), std::move(saved.ending));
    computeResults(s);
}

SessionValues freshWithBankroll(std::string starting, std::string ending) {
    SessionValues s;
    adoptBankroll(s, std::move(starting), std::move(ending));
    return s;
}

TEST(Session, StartsEmptyAndIsShared) {
    SessionValues& a = session();
    SessionValues& b = session();
    EXPECT_EQ(&a, &b);
    const SessionValues fresh;
    EXPECT_EQ(fresh.totalWonText, "");
    EXPECT_EQ(fresh.runningNetText, "");
    EXPECT_EQ(fresh.bankrollFileName, "");
}

TEST(AcceptInputs, FiltersAmountsButNotCounts) {
    struct Case {
        Cells cells;
        std::string won, bet, made, wins, start;
    };
    const Case cases[] = {
        {{"$1,234.50", " -12.5 ", "1,000", "$1,234.50", "$1,000.00"},
         "1234.50",
         "-12.5",
         "1,000",
         "$1,234.50",
         "1000.00"},
        {{"1E3", "12abc", "1E3", " 7 ", "1-2.3.4"}, "13", "12", "1E3", " 7 ", "1-2.3.4"},
        {{"", "", "", "", ""}, "", "", "", "", ""},
        {{"abc", "x", "abc", "x", "abc"}, "", "", "abc", "x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cells.won);
        SessionValues s;
        acceptInputs(s, c.cells.view());
        EXPECT_EQ(s.totalWonText, c.won);
        EXPECT_EQ(s.totalBetText, c.bet);
        EXPECT_EQ(s.betsMadeText, c.made);
        EXPECT_EQ(s.betsWonText, c.wins);
        EXPECT_EQ(s.startingBankrollText, c.start);
    }
}

TEST(AcceptInputs, CountsReadAsTypedAmountsAsFiltered) {
    // "1,000" counts as 1 bet made but 1000 won; "1E3" as 1000 bets but 13 won.
    SessionValues s;
    acceptInputs(s, Cells{"1,000", "1E3", "1,000", "1E3", "$1,234.50"}.view());
    EXPECT_TRUE(sameBits(parseNumber(s.totalWonText), 1000.0L));
    EXPECT_TRUE(sameBits(parseNumber(s.totalBetText), 13.0L));
    EXPECT_TRUE(sameBits(parseNumber(s.betsMadeText), 1.0L));
    EXPECT_TRUE(sameBits(parseNumber(s.betsWonText), 1000.0L));
    EXPECT_TRUE(sameBits(parseNumber(s.startingBankrollText), 1234.5L));
}

TEST(Calculate, ComputesEveryResult) {
    struct Case {
        const char* name;
        Cells cells;
        std::string net, ending, roi, winPercent, mutuel;
        std::string savedStart, savedEnd;
    };
    const Case cases[] = {
        {"all empty", {"", "", "", "", ""}, " 0", " 0", "0", "0", "0", "", "0"},
        {"bankroll only", {"", "", "", "", "1000"}, " 0", " 1000", "0", "0", "0", "1000", "1000"},
        {"ordinary day", {"150", "100", "10", "3", "1000"}, " 50", " 1050", " 1.5", " 30", " 50", "1000", "1050"},
        {"won more than made", {"150", "100", "5", "6", "0"}, " 50", " 50", " 1.5", "0", " 25", "0", "50"},
        {"won all", {"150", "100", "5", "5", "0"}, " 50", " 50", " 1.5", " 100", " 30", "0", "50"},
        {"nothing bet", {"150", "0", "0", "0", "0"}, " 150", " 150", "0", "0", "0", "0", "150"},
        {"negative won", {"-50", "100", "4", "2", "0"}, "-150", "-150", "-.5", " 50", "-25", "0", "-150"},
        {"negative divisors", {"10", "-100", "-4", "-2", "0"}, " 110", " 110", "0", "0", "0", "0", "110"},
        {"masked amounts",
         {"$1,234.50", "$1,000.00", "10", "4", "$1,000.00"},
         " 234.5",
         " 1234.5",
         " 1.2345",
         " 40",
         " 308.625",
         "1000.00",
         "1234.5"},
        {"thirds",
         {"100", "300", "3", "1", "0"},
         "-200",
         "-200",
         " .333333333333333",
         " 33.3333333333333",
         " 100",
         "0",
         "-200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionValues s = freshWithBankroll("0", "0");
        acceptInputs(s, c.cells.view());
        advanceBankroll(s);
        EXPECT_EQ(s.runningNetText, c.net);
        EXPECT_EQ(s.endingBankrollText, c.ending);
        const BankrollTexts saved = bankrollToSave(s);
        EXPECT_EQ(saved.starting, c.savedStart);
        EXPECT_EQ(saved.ending, c.savedEnd);
        computeResults(s);
        EXPECT_EQ(s.roiText, c.roi);
        EXPECT_EQ(s.winPercentText, c.winPercent);
        EXPECT_EQ(s.averageMutuelText, c.mutuel);
    }
}

TEST(Calculate, SecondPressAddsTheNetAgain) {
    SessionValues s = freshWithBankroll("0", "0");
    const Cells day{"150", "100", "10", "3", "1000"};
    calculate(s, day);
    EXPECT_EQ(s.runningNetText, " 50");
    EXPECT_EQ(s.endingBankrollText, "1050");  // as read back from the file
    calculate(s, day);
    EXPECT_EQ(s.runningNetText, " 100");
    EXPECT_EQ(s.startingBankrollText, "1000");
    EXPECT_EQ(s.endingBankrollText, "1100");
    EXPECT_EQ(s.roiText, " 1.5");
    EXPECT_EQ(s.winPercentText, " 30");
    EXPECT_EQ(s.averageMutuelText, " 50");
}

TEST(Calculate, NewStartingBankrollAfterClearAll) {
    SessionValues s = freshWithBankroll("500", "800");
    calculate(s, {"150", "100", "10", "3", "1000"});
    clearInputs(s);
    // The cells now show "0"; a new starting bankroll is typed.
    calculate(s, {"0", "0", "0", "0", "2000"});
    EXPECT_EQ(s.runningNetText, " 50");
    EXPECT_EQ(s.endingBankrollText, "2050");
    EXPECT_EQ(s.roiText, "0");
    EXPECT_EQ(s.winPercentText, "0");
    EXPECT_EQ(s.averageMutuelText, "0");
}

TEST(Calculate, RunningNetStartsFromNothingAfterRestart) {
    // The loaded ending bankroll is not part of the sum: a run's first press
    // gives the starting bankroll plus that press's net.
    SessionValues s = freshWithBankroll("1000", "1700");
    calculate(s, {"20", "10", "", "", "1000"});
    EXPECT_EQ(s.endingBankrollText, "1010");
}

TEST(ClearInputs, ResetsOnlyTheFourInputs) {
    SessionValues s = freshWithBankroll("0", "0");
    calculate(s, {"150", "100", "10", "3", "1000"});
    clearInputs(s);
    EXPECT_EQ(s.totalWonText, "0");
    EXPECT_EQ(s.totalBetText, "0");
    EXPECT_EQ(s.betsMadeText, "0");
    EXPECT_EQ(s.betsWonText, "0");
    EXPECT_EQ(s.startingBankrollText, "1000");
    EXPECT_EQ(s.endingBankrollText, "1050");
    EXPECT_EQ(s.runningNetText, " 50");
    EXPECT_EQ(s.roiText, " 1.5");
    EXPECT_EQ(s.winPercentText, " 30");
    EXPECT_EQ(s.averageMutuelText, " 50");
}

TEST(ClearBankrolls, ResetsBankrollAndNetButKeepsResults) {
    SessionValues s = freshWithBankroll("0", "0");
    calculate(s, {"150", "100", "10", "3", "1000"});
    clearBankrolls(s);
    EXPECT_EQ(s.totalWonText, "0");
    EXPECT_EQ(s.totalBetText, "0");
    EXPECT_EQ(s.betsMadeText, "0");
    EXPECT_EQ(s.betsWonText, "0");
    EXPECT_EQ(s.startingBankrollText, "0");
    EXPECT_EQ(s.endingBankrollText, "0");
    EXPECT_EQ(s.runningNetText, "0");
    EXPECT_EQ(s.roiText, " 1.5");
    EXPECT_EQ(s.winPercentText, " 30");
    EXPECT_EQ(s.averageMutuelText, " 50");
    calculate(s, {"10", "4", "", "", "0"});
    EXPECT_EQ(s.runningNetText, " 6");
}

TEST(BankrollToSave, OrdinaryValuesAreTheirFilteredText) {
    struct Case {
        std::string start, end, savedStart, savedEnd;
    };
    const Case cases[] = {
        {"1000", " 1050.5", "1000", "1050.5"},
        {"", "-25", "", "-25"},
        {" .5", "-.333333333333333", ".5", "-.333333333333333"},
        {"1000.00", " 999999999999999", "1000.00", "999999999999999"},
        {" 0", "0", "0", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        const BankrollTexts saved = bankrollToSave(freshWithBankroll(c.start, c.end));
        EXPECT_EQ(saved.starting, c.savedStart);
        EXPECT_EQ(saved.ending, c.savedEnd);
    }
}

// A value whose text has an exponent used to lose it in the filter
// (" 1.11022302462516E-16" came back as 1.11022302462516).
TEST(BankrollToSave, ExponentFormIsWrittenPositionally) {
    struct Case {
        std::string canonical, saved;
    };
    const Case cases[] = {
        {" 1.11022302462516E-16", ".000000000000000111022302462516"},
        {" 1E+15", "1000000000000000"},
        {"-1.23456789012345E+20", "-123456789012345000000"},
        {"-1E-16", "-.0000000000000001"},
        {" 1.5E+17", "150000000000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.canonical);
        const BankrollTexts saved = bankrollToSave(freshWithBankroll(c.canonical, c.canonical));
        EXPECT_EQ(saved.starting, c.saved);
        EXPECT_EQ(saved.ending, c.saved);
    }
}

TEST(BankrollToSave, SavedTextReadsBackAsTheSameNumber) {
    // The saved text holds only number characters and reads back as the
    // canonical text does: bit for bit when the canonical text stands for an
    // exact power of ten, otherwise at least to the same 15 digits.
    struct Case {
        Extended x;
        bool bitExact;
    };
    const Extended largest = std::numeric_limits<Extended>::max();
    const Case cases[] = {
        {parseNumber("792.94") + parseNumber("345.89") - parseNumber("1138.83"), true},
        {-(parseNumber("0.1") + parseNumber("0.2") - parseNumber("0.3")), true},
        {1.0L / 3.0L, true},
        {1e15L, true},
        {parseNumber("1234567890123456"), true},
        {parseNumber("-1e20"), true},
        {parseNumber("1.23456789012345e27"), true},
        {parseNumber("1e27"), true},  // 27 zeros to append: still exact
        {0x1p127L, true},
        {parseNumber("1.5e-300") / 7.0L, true},  // small values keep their digits and exponent
        {parseNumber("3e-4931"), true},
        {std::numeric_limits<Extended>::min(), true},  // reads as 0 either way
        {largest, true},                               // reads as 2^127 either way
        {-largest, true},
        {std::numeric_limits<Extended>::quiet_NaN(), true},
        {parseNumber("1e28"), false},
        {parseNumber("9.87654321098765e44"), false},
        {parseNumber("1e100") / 3.0L, false},
        {parseNumber("-1e4000") / 7.0L, false},
        {std::numeric_limits<Extended>::infinity(), false},
        {-std::numeric_limits<Extended>::infinity(), false},
    };
    for (const Case& c : cases) {
        const std::string canonical = numberToText(c.x);
        SCOPED_TRACE(canonical);
        const BankrollTexts saved = bankrollToSave(freshWithBankroll(canonical, canonical));
        EXPECT_EQ(saved.starting, saved.ending);
        EXPECT_EQ(retainChars(saved.ending, NUMBER_CHARS), saved.ending);
        const Extended expected = parseNumber(canonical);
        const Extended back = parseNumber(saved.ending);
        EXPECT_EQ(numberToText(back), numberToText(expected));
        if (c.bitExact) {
            EXPECT_TRUE(sameBits(back, expected)) << saved.ending;
        }
    }
}

TEST(BankrollToSave, OddTextsAreSavedAsWhatTheyCountAs) {
    // Texts from a hand-edited file that the filter would change the value of.
    struct Case {
        std::string text, saved;
    };
    const Case cases[] = {
        {"&H10", "16"},    {"abc5", "0"},      {"1e5000", "1" + std::string(4932, '0')},  // 2^127, as the text reads
        {"-1e-5000", "0"}, {"12E3x", "12000"}, {"0E5", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const BankrollTexts saved = bankrollToSave(freshWithBankroll(c.text, c.text));
        EXPECT_EQ(saved.starting, c.saved);
        EXPECT_TRUE(sameBits(parseNumber(saved.starting), parseNumber(c.text)));
    }
}

// Amounts with cents that cancel out leave a residue of about 10^-16, whose
// canonical text has an exponent: it used to be saved as "1.11022302462516-16".
TEST(BankrollToSave, CentResidueSurvivesTheFile) {
    SessionValues s = freshWithBankroll("0", "0");
    calculate(s, {"345.89", "0", "", "", "0"});
    calculate(s, {"792.94", "1138.83", "", "", "0"});
    EXPECT_EQ(s.runningNetText, " 1.11022302462516E-16");
    EXPECT_EQ(s.endingBankrollText, ".000000000000000111022302462516");
    EXPECT_TRUE(sameBits(parseNumber(s.endingBankrollText), parseNumber(" 1.11022302462516E-16")));
}

TEST(BankrollToSave, RoundTripHoldsOverManySums) {
    // Pairs of presses whose amounts cancel: the first wins x, the second wins y
    // and bets x + y. The residues take the exponent form; every saved value must
    // read back bit for bit.
    auto cents = [](long long c) {
        const std::string sign = c < 0 ? "-" : "";
        const long long a = c < 0 ? -c : c;
        const std::string frac = std::to_string(100 + a % 100).substr(1);
        return sign + std::to_string(a / 100) + "." + frac;
    };
    std::mt19937 random(20240611);  // the same sequence on every platform
    SessionValues s = freshWithBankroll("0", "0");
    int exponentForms = 0;
    for (int i = 0; i < 300; ++i) {
        const long long x = random() % 100000;
        const long long y = random() % 100000;
        calculate(s, {cents(x), "0", "", "", "0"});
        acceptInputs(s, Cells{cents(y), cents(x + y), "", "", "0"}.view());
        advanceBankroll(s);
        const std::string canonical = s.endingBankrollText;
        SCOPED_TRACE(canonical);
        if (canonical.find('E') != std::string::npos) {
            ++exponentForms;
        }
        const BankrollTexts saved = bankrollToSave(s);
        EXPECT_EQ(retainChars(saved.ending, NUMBER_CHARS), saved.ending);
        EXPECT_TRUE(sameBits(parseNumber(saved.ending), parseNumber(canonical))) << saved.ending;
        adoptBankroll(s, saved.starting, saved.ending);
    }
    EXPECT_GT(exponentForms, 10);  // the residues did come up
}

}  // namespace
}  // namespace roi
