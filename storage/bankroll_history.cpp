// bankroll-history.csv appended over channel 2: open, read through to learn how the
// file ends, one write of every waiting row, flush, close. Every file failure goes to
// the caller's error slot, as the file layer reports it.
#include "storage/bankroll_history.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "app/runtime.h"
#include "app/system_call.h"
#include "storage/text_file.h"

namespace roi {

namespace {

constexpr Channel HISTORY_CHANNEL = 2;

// Lines not yet in the file, oldest first, each stamped when its save was made.
std::vector<std::string> waitingLines;

LocalTime now() {
    SYSTEMTIME t{};
    ROI_SYSTEM(GetLocalTime(&t));
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// Every waiting line, after whatever the file's end needs; 0 or the first code.
int writeWaiting(const std::string& name) {
    int code = openAppend(HISTORY_CHANNEL, name);
    CsvEnd end;
    std::string piece;
    while (code == 0 && (code = readPiece(HISTORY_CHANNEL, piece)) == 0 && !piece.empty()) {
        scanCsvEnd(end, piece);
    }
    std::string bytes(end.empty ? std::string(HISTORY_HEADER) + "\r\n" : std::string(lineRepair(end)));
    for (const std::string& line : waitingLines) {
        bytes += line;
    }
    if (code == 0 && (code = appendText(HISTORY_CHANNEL, bytes)) == 0) {
        // In the file now: a flush or close that fails cannot take them back out, and
        // writing them again would only repeat them.
        waitingLines.clear();
        code = flush(HISTORY_CHANNEL);
    }
    const int closed = closeChannel(HISTORY_CHANNEL);
    return code != 0 ? code : closed;
}

}  // namespace

std::string historyFileName() {
    const std::string& bankroll = session().bankrollFileName;
    const std::size_t folderEnd = bankroll.find_last_of("\\/:");
    return bankroll.substr(0, folderEnd == std::string::npos ? 0 : folderEnd + 1) + HISTORY_FILE_NAME;
}

bool appendHistory(const HistoryRow& row) {
    waitingLines.push_back(historyLine(now(), row));
    return appendWaitingHistory();
}

bool appendWaitingHistory() {
    if (waitingLines.empty()) {
        return true;
    }
    return writeWaiting(historyFileName()) == 0;
}

void forgetWaitingHistory() {
    std::vector<std::string>().swap(waitingLines);
}

}  // namespace roi
