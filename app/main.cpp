// The program's entry: the runtime's start-up and exit around the main window's
// main routine. This file links every layer, so it supplies their global state.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/runtime.h"
#include "core/session.h"
#include "storage/text_file.h"
#include "ui/main_window.h"
#include "ui/font_table.h"

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

// The library's default terminate handler names the exception on stderr, which a
// windowed program does not have, and brings a demangler and stdio of about 75 KB
// with it: more than the 32-bit program has room for. The handler is named in the
// library's <exception>, but no standard call keeps its code out (std::set_terminate
// still links the default), so the program gives its own; should a library put it
// with code the program needs, the link stops on the doubled name rather than
// anything changing quietly. Nothing escapes a window procedure or thread, so this is
// never reached in normal running; ending at once is all the default would visibly do.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    roi::ProcessHooks hooks;
    hooks.prepareGlobals = prepareGlobals;
    hooks.releaseGlobals = releaseSession;
    roi::runProcess(roi::mainRoutine, hooks);
}
