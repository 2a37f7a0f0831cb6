// The bankroll history's lines: one CSV row for every bankroll save, the header that
// opens the file, and what a file cut off in the middle of a row needs before the next
// one. Texts in, bytes out; the file itself is storage/bankroll_history's.
#pragma once

#include <string>
#include <string_view>

#include "core/session.h"

namespace roi {

// The first line of the file, without its line end.
inline constexpr char HISTORY_HEADER[] = "time,action,won,bet,made,wins,net,starting,ending";

enum class HistoryAction {
    NewFile,         // the file created at start-up with two zeros
    Calculate,       // a CALCULATE
    ClearBankrolls,  // a CLEAR BANKROLLS
};

// A moment of the local clock.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// One save: what was pressed, with what, and what went into bankroll.roi.
struct HistoryRow {
    HistoryAction action = HistoryAction::NewFile;
    std::string won;  // won, bet, made, wins and net: CALCULATE's, empty for the other actions
    std::string bet;
    std::string made;
    std::string wins;
    std::string net;       // the running net after the press, without the canonical text's blank
    std::string starting;  // exactly what the save wrote
    std::string ending;
};

// A CALCULATE's row from the session as the press left it and the pair it saved.
HistoryRow calculateRow(const SessionValues& s, const BankrollTexts& saved);
// The row of a save that only writes a pair (NEW FILE, CLEAR BANKROLLS).
HistoryRow pairRow(HistoryAction action, const BankrollTexts& saved);

// A field as RFC 4180 writes it: in double quotes, inner quotes doubled, when it holds a
// comma, a double quote, CR or LF; otherwise as it is.
std::string csvField(std::string_view text);
// The row's line, "YYYY-MM-DD HH:MM:SS" first, ending in CR LF.
std::string historyLine(const LocalTime& time, const HistoryRow& row);

// Where the bytes of a file leave a CSV reader, fed to scanCsvEnd piece by piece.
struct CsvEnd {
    bool empty = true;      // no byte yet
    bool inQuotes = false;  // inside a quoted field
    char last = 0;          // the last byte
};
void scanCsvEnd(CsvEnd& end, std::string_view piece);
// What goes between such a file and a new row: nothing after a whole line; otherwise
// whatever ends the line the bytes stopped in (closing a quoted field first), so that
// a row cut off by a crash never runs into the next one.
std::string_view lineRepair(const CsvEnd& end);

}  // namespace roi
