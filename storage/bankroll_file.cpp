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
    // The steps report into a slot of their own so a failure can be told apart;
    // the last code then goes on to the caller's slot, as if reported there.
    std::uint8_t code = 0;
    {
        ErrorSlot steps;
        // The new pair goes to a file beside the old one, which a kill or a power cut
        // at any moment leaves whole. A temporary file left by such a kill is emptied
        // here and used again.
        openWrite(BANKROLL_CHANNEL, temporary);
        writeQuoted(BANKROLL_CHANNEL, starting);
        endLine(BANKROLL_CHANNEL);
        writeQuoted(BANKROLL_CHANNEL, ending);
        endLine(BANKROLL_CHANNEL);
        flush(BANKROLL_CHANNEL);
        closeChannel(BANKROLL_CHANNEL);
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
    bool readable = true;
    return readBankroll(readable);
}

BankrollTexts readBankroll(bool& readable) {
    const std::string& name = session().bankrollFileName;
    readable = true;
    // Each step reports into a slot of its own, to be judged; its code then goes on to
    // the caller's slot, as if reported there.
    const auto step = [&readable](auto&& operation) {
        ErrorSlot own;
        operation();
        const std::uint8_t code = own.code();
        if (code != 0 && code != ERR_END_OF_DATA) {
            readable = false;
        }
        return code;
    };
    std::uint8_t codes[4] = {};
    codes[0] = step([&] { openRead(BANKROLL_CHANNEL, name); });
    // A fresh two-entry list each time; a failed read leaves its entry empty.
    BankrollTexts entries;
    codes[1] = step([&] { entries.starting = readField(BANKROLL_CHANNEL); });
    codes[2] = step([&] { entries.ending = readField(BANKROLL_CHANNEL); });
    {
        ErrorSlot own;  // a reading channel's close loses nothing that was read
        closeChannel(BANKROLL_CHANNEL);
        codes[3] = own.code();
    }
    for (const std::uint8_t code : codes) {
        if (code != 0) {
            reportError(code);
        }
    }
    return entries;
}

}  // namespace roi
