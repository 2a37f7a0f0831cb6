// bankroll.roi written and read back over channel 1. Every file failure goes to the
// caller's error slot, as the file layer reports it.
#include "storage/bankroll_file.h"

#include "app/runtime.h"
#include "storage/text_file.h"

namespace roi {

namespace {

constexpr Channel BANKROLL_CHANNEL = 1;

}  // namespace

bool writeBankroll(std::string_view first, std::string_view second) {
    const std::string& name = session().bankrollFileName;
    // The steps report into a slot of their own so a failure can be told apart;
    // the last code then goes on to the caller's slot, as if reported there.
    std::uint8_t code = 0;
    {
        ErrorSlot steps;
        openWrite(BANKROLL_CHANNEL, name);
        writeQuoted(BANKROLL_CHANNEL, first);
        endLine(BANKROLL_CHANNEL);
        writeQuoted(BANKROLL_CHANNEL, second);
        endLine(BANKROLL_CHANNEL);
        closeChannel(BANKROLL_CHANNEL);
        code = steps.code();
    }
    if (code != 0) {
        reportError(code);
        return false;
    }
    return true;
}

BankrollTexts readBankroll() {
    const std::string& name = session().bankrollFileName;
    openRead(BANKROLL_CHANNEL, name);
    // A fresh two-entry list each time; a failed read leaves its entry empty.
    BankrollTexts entries;
    entries.first = readField(BANKROLL_CHANNEL);
    entries.second = readField(BANKROLL_CHANNEL);
    closeChannel(BANKROLL_CHANNEL);
    return entries;
}

}  // namespace roi
