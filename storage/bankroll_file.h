// bankroll.roi: two quoted values, starting and ending bankroll, CR LF after each.
#pragma once

#include <string_view>

#include "core/session.h"
#include "storage/text_file.h"

namespace roi {

inline constexpr char BANKROLL_FILE_NAME[] = "bankroll.roi";

// Claims the bankroll of the current folder for the rest of the run, so that one
// calculator alone writes it: bankroll.roi's name plus ".lock", held open without
// sharing and gone when the process ends.
Claim claimBankroll();

// Replaces the file named by session().bankrollFileName with the two values, written
// on channel 1 to the same name plus ".tmp" and flushed first. True only when every
// step succeeded; otherwise the old file is untouched and the temporary file removed.
bool writeBankroll(std::string_view starting, std::string_view ending);

// The file's first two values (empty texts for what cannot be read).
BankrollTexts readBankroll();
// The same; readable becomes false when the file could not be opened or a read failed
// for any reason but the end of the data.
BankrollTexts readBankroll(bool& readable);

}  // namespace roi
