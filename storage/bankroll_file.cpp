// bankroll.roi written and read back over channel 1. Every file failure goes to the
// caller's error slot, as the file layer reports it.
#include "storage/bankroll_file.h"

#include <string>

#include "app/runtime.h"
#include "storage/text_file.h"

namespace roi {

namespace {

constexpr Channel BANKROLL_CHANNEL = 1;
// Beside bankroll.roi, so that putting it in the file's place is a rename in one folder.
constexpr char TEMPORARY_SUFFIX[] = ".tmp";

}  // namespace

std::string temporaryName(const std::string& name) {
    return name.empty() ? std::string() : name + TEMPORARY_SUFFIX;
}

bool writeBankroll(std::string_view first, std::string_view second) {
    const std::string& name = session().bankrollFileName;
    const std::string temporary = temporaryName(name);
    // The steps report into a slot of their own so a failure can be told apart;
    // the last code then goes on to the caller's slot, as if reported there.
    std::uint8_t code = 0;
    {
        ErrorSlot steps;
        // The new pair goes to a file beside the old one, which a kill or a power cut
        // at any moment leaves whole. A temporary file left by such a kill is emptied
        // here and used again.
        openWrite(BANKROLL_CHANNEL, temporary);
        writeQuoted(BANKROLL_CHANNEL, first);
        endLine(BANKROLL_CHANNEL);
        writeQuoted(BANKROLL_CHANNEL, second);
        endLine(BANKROLL_CHANNEL);
        flush(BANKROLL_CHANNEL);
        close(BANKROLL_CHANNEL);
        if (steps.code() == 0) {
            replaceFile(temporary, name);
        }
        code = steps.code();
    }
    if (code != 0) {
        {
            ErrorSlot cleanup;  // the save has failed already; this outcome adds nothing
            removeFile(temporary);
        }
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
    close(BANKROLL_CHANNEL);
    return entries;
}

}  // namespace roi
