// bankroll.roi written and read back over channel 1. Every file failure goes to the
// caller's error slot, as the file layer reports it.
#include "storage/bankroll_file.h"

#include <string>

#include "app/runtime.h"
#include "core/file_errors.h"
#include "storage/text_file.h"

namespace roi {

namespace {

constexpr Channel BANKROLL_CHANNEL = 1;
// Beside bankroll.roi, so that putting it in the file's place is a rename in one folder.
constexpr char TEMPORARY_SUFFIX[] = ".tmp";
constexpr char CLAIM_SUFFIX[] = ".lock";

std::string temporaryName(const std::string& name) {
    return name.empty() ? std::string() : name + TEMPORARY_SUFFIX;
}

}  // namespace

Claim claimBankroll() {
    return claimFile(session().bankrollFileName + CLAIM_SUFFIX);
}

bool writeBankroll(std::string_view starting, std::string_view ending) {
    const std::string& name = session().bankrollFileName;
    const std::string temporary = temporaryName(name);
    // Each step runs whatever the ones before came to; code keeps the last failure's,
    // as the caller's slot does (after a failed open, a closed channel's).
    int code = 0;
    const auto step = [&code](int outcome) {
        if (outcome != 0) {
            code = outcome;
        }
    };
    // The new pair goes to a file beside the old one, which a kill or a power cut at
    // any moment leaves whole. A temporary file left by such a kill is emptied here
    // and used again.
    step(openWrite(BANKROLL_CHANNEL, temporary));
    step(writeQuoted(BANKROLL_CHANNEL, starting));
    step(endLine(BANKROLL_CHANNEL));
    step(writeQuoted(BANKROLL_CHANNEL, ending));
    step(endLine(BANKROLL_CHANNEL));
    step(flush(BANKROLL_CHANNEL));
    step(closeChannel(BANKROLL_CHANNEL));
    if (code == 0) {
        code = replaceFile(temporary, name);
    }
    if (code != 0) {
        // The save has failed already: what the removal comes to adds nothing, and the
        // caller's slot gets the save's code back.
        (void)removeFile(temporary);
        reportError(code);
        return false;
    }
    return true;
}

BankrollTexts readBankroll() {
    bool readable = true;
    return readBankroll(readable);
}

BankrollTexts readBankroll(bool& readable) {
    const std::string& name = session().bankrollFileName;
    // Each step runs whatever the ones before came to; the caller's slot keeps the
    // last failure's code.
    readable = true;
    const auto judge = [&readable](int code) { readable = readable && (code == 0 || code == ERR_END_OF_DATA); };
    judge(openRead(BANKROLL_CHANNEL, name));
    // A fresh two-entry list each time; a failed read leaves its entry empty.
    BankrollTexts entries;
    judge(readField(BANKROLL_CHANNEL, entries.starting));
    judge(readField(BANKROLL_CHANNEL, entries.ending));
    // A reading channel's close loses nothing that was read.
    (void)closeChannel(BANKROLL_CHANNEL);
    return entries;
}

}  // namespace roi
