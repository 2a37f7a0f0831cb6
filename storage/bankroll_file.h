// bankroll.roi: two quoted values, starting and ending bankroll, CR LF after each.
#pragma once

#include <string_view>

#include "core/session.h"

namespace roi {

inline constexpr char BANKROLL_FILE_NAME[] = "bankroll.roi";

// Rewrites the file named by session().bankrollFileName on channel 1. True only when
// the open, both values, both line ends and the close all succeeded.
bool writeBankroll(std::string_view first, std::string_view second);

// The file's first two values (empty texts for what cannot be read).
BankrollTexts readBankroll();

}  // namespace roi
