// The bankroll history's rows and the CSV rules they are written by.
#include "core/history.h"

#include <cstddef>
#include <iterator>

namespace roi {

namespace {

// The actions as the file names them, in HistoryAction's order.
constexpr const char* ACTION_NAMES[] = {"NEW FILE", "CALCULATE", "CLEAR BANKROLLS"};
static_assert(std::size(ACTION_NAMES) == static_cast<std::size_t>(HistoryAction::ClearBankrolls) + 1);

// The characters that make a field need quotes.
constexpr std::string_view NEEDS_QUOTES = ",\"\r\n";

// value as exactly width digits, with leading zeros (a negative value, never seen, as 0).
void appendDigits(std::string& out, int value, int width) {
    std::string digits(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0 && value > 0; --i, value /= 10) {
        digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    }
    out += digits;
}

std::string timeText(const LocalTime& t) {
    std::string text;
    appendDigits(text, t.year, 4);
    text += '-';
    appendDigits(text, t.month, 2);
    text += '-';
    appendDigits(text, t.day, 2);
    text += ' ';
    appendDigits(text, t.hour, 2);
    text += ':';
    appendDigits(text, t.minute, 2);
    text += ':';
    appendDigits(text, t.second, 2);
    return text;
}

}  // namespace

HistoryRow calculateRow(const SessionValues& s, const BankrollTexts& saved) {
    HistoryRow row = pairRow(HistoryAction::Calculate, saved);
    row.won = s.totalWonText;
    row.bet = s.totalBetText;
    row.made = s.betsMadeText;
    row.wins = s.betsWonText;
    const std::string_view net = s.runningNetText;
    row.net = std::string(net.starts_with(' ') ? net.substr(1) : net);
    return row;
}

HistoryRow pairRow(HistoryAction action, const BankrollTexts& saved) {
    HistoryRow row;
    row.action = action;
    row.starting = saved.starting;
    row.ending = saved.ending;
    return row;
}

std::string csvField(std::string_view text) {
    if (text.find_first_of(NEEDS_QUOTES) == std::string_view::npos) {
        return std::string(text);
    }
    std::string field = "\"";
    for (const char c : text) {
        if (c == '"') {
            field += '"';
        }
        field += c;
    }
    field += '"';
    return field;
}

std::string historyLine(const LocalTime& time, const HistoryRow& row) {
    std::string line = timeText(time);
    line += ',';
    line += ACTION_NAMES[static_cast<std::size_t>(row.action)];
    for (const std::string* field : {&row.won, &row.bet, &row.made, &row.wins, &row.net, &row.starting, &row.ending}) {
        line += ',';
        line += csvField(*field);
    }
    line += "\r\n";
    return line;
}

void scanCsvEnd(CsvEnd& end, std::string_view piece) {
    for (const char c : piece) {
        if (c == '"') {
            end.inQuotes = !end.inQuotes;  // a doubled quote toggles twice
        }
        end.last = c;
        end.empty = false;
    }
}

std::string_view lineRepair(const CsvEnd& end) {
    if (end.empty) {
        return {};
    }
    if (end.inQuotes) {
        return "\"\r\n";
    }
    if (end.last == '\n') {
        return {};
    }
    return end.last == '\r' ? "\n" : "\r\n";
}

}  // namespace roi
