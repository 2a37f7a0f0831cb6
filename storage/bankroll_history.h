// bankroll-history.csv, beside bankroll.roi: a row appended after every bankroll save
// that succeeded, so that no slip of the mouse loses a bankroll for good. The file only
// ever grows; rows it cannot take wait in memory, in order, for an append that can.
#pragma once

#include <string>

#include "core/history.h"

namespace roi {

inline constexpr char HISTORY_FILE_NAME[] = "bankroll-history.csv";

// The history's name: HISTORY_FILE_NAME in the folder of session().bankrollFileName,
// resolved against the current directory at each access, as that name is.
std::string historyFileName();

// Stamps row with the local time and appends it after any rows still waiting, each
// whole, flushed before this returns. False when the file could not take them (held
// open, read-only, a folder of that name, a full disk): they all wait then.
bool appendHistory(const HistoryRow& row);
// Appends the rows still waiting, if any; false when they still wait.
bool appendWaitingHistory();
// Forgets the waiting rows (start-up and tests).
void forgetWaitingHistory();

}  // namespace roi
