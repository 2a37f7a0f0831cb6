// The calculator's session values and the arithmetic of CALCULATE, CLEAR ALL and
// CLEAR BANKROLLS. Texts in, texts out; no window and no file.
#pragma once

#include <string>
#include <string_view>

namespace roi {

// Every value is kept as text between operations; empty reads as 0.
struct SessionValues {
    std::string totalWonText;
    std::string totalBetText;
    std::string betsMadeText;
    std::string betsWonText;
    std::string startingBankrollText;
    std::string endingBankrollText;
    std::string runningNetText;
    std::string roiText;
    std::string winPercentText;
    std::string averageMutuelText;
    std::string bankrollFileName;
};

// The process-wide session that the main window works on.
SessionValues& session();

// The texts of the five input cells, as typed.
struct InputCells {
    std::string_view won;
    std::string_view bet;
    std::string_view made;
    std::string_view wins;
    std::string_view start;
};

// The two bankroll values, in the order they are stored in the file.
struct BankrollTexts {
    std::string starting;
    std::string ending;
};

// Picture masks of the output cells.
inline constexpr char BANKROLL_MASK[] = "$#,###,###.##";
inline constexpr char ROI_MASK[] = "$####.##";
inline constexpr char WIN_PERCENT_MASK[] = "###.##%";
inline constexpr char AVERAGE_MUTUEL_MASK[] = "$#,###.##";

void acceptInputs(SessionValues& s, const InputCells& cells);
void advanceBankroll(SessionValues& s);
BankrollTexts bankrollToSave(const SessionValues& s);
void adoptBankroll(SessionValues& s, std::string starting, std::string ending);
void computeResults(SessionValues& s);
void clearInputs(SessionValues& s);
void clearBankrolls(SessionValues& s);

}  // namespace roi
