// The program's entry: the runtime's start-up and exit around the main window's
// main routine. This file links every layer, so it supplies their global state.
#include <windows.h>

#include <string>

#include "app/runtime.h"
#include "core/session.h"
#include "storage/text_file.h"
#include "ui/main_window.h"
#include "ui/window_records.h"

namespace {

// Releases the text's storage, not only its length.
void releaseText(std::string& text) {
    std::string().swap(text);
}

void releaseSession() {
    roi::SessionValues& s = roi::session();
    for (std::string* text : {&s.totalWonText, &s.totalBetText, &s.betsMadeText, &s.betsWonText,
                              &s.startingBankrollText, &s.endingBankrollText, &s.runningNetText, &s.roiText,
                              &s.winPercentText, &s.averageMutuelText, &s.bankrollFileName}) {
        releaseText(*text);
    }
}

void prepareGlobals() {
    releaseSession();
    roi::resetChannelTable();
    roi::createDefaultFonts();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    roi::ProcessHooks hooks;
    hooks.prepareGlobals = prepareGlobals;
    hooks.releaseGlobals = releaseSession;
    roi::runProcess(roi::mainRoutine, hooks);
}
