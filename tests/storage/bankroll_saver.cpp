// Saves bankroll.roi over and over, alternating two pairs, each save followed by its
// history row as the program appends it, until it is killed: the kill test's child.
// Arguments: the directory to work in, the name of the event it sets once its first
// save and row are done. Pair 1 ("1000", "1050.5") goes first.
#include <windows.h>

#include <string>

#include "app/runtime.h"
#include "core/session.h"
#include "storage/bankroll_file.h"
#include "storage/bankroll_history.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || !SetCurrentDirectoryW(argv[1])) {
        return 2;
    }
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (ready == nullptr) {
        return 2;
    }
    roi::ErrorSlot slot;
    roi::session().bankrollFileName = roi::BANKROLL_FILE_NAME;
    const char* pairs[2][2] = {{"1000", "1050.5"}, {"-98765.25", "123456789"}};
    for (unsigned round = 0;; ++round) {
        const auto& pair = pairs[round % 2];
        if (roi::writeBankroll(pair[0], pair[1])) {
            roi::appendHistory(roi::pairRow(roi::HistoryAction::ClearBankrolls, {pair[0], pair[1]}));
        }
        if (round == 0) {
            SetEvent(ready);
        }
    }
}
