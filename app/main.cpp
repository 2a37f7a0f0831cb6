// The program's entry: the runtime's start-up and exit around the main window's
// main routine. This file links every layer, so it supplies their global state.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

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

// The library's default terminate handler names the exception on stderr, which a
// windowed program does not have, and brings a demangler of about 50 KB with it.
// Nothing escapes a window procedure or thread, so this is never reached in normal
// running; ending at once is all the default would visibly do.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

// The library's containers and strings report a broken precondition (a position
// past the end, a length past max_size) through these helpers. Its own versions
// throw logic_error and its kin, whose message member is a second, older string
// implementation: about 85 KB. These throw the same allocation and cast types, and
// for the rest one plain exception carrying the message; nothing in the program
// catches the logic_error family by type (only std::bad_alloc and "..."), so every
// handler sees the same as before. The library's object defines all of them, so all
// are replaced: a missing one would bring it back and the link would fail.
namespace {

class LibraryError : public std::exception {
public:
    explicit LibraryError(const char* message) : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};

}  // namespace

namespace std {
void __throw_bad_exception() {
    throw std::bad_exception();
}
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}
void __throw_bad_cast() {
    throw std::bad_cast();
}
void __throw_bad_typeid() {
    throw std::bad_typeid();
}
void __throw_logic_error(const char* message) {
    throw LibraryError(message);
}
void __throw_domain_error(const char* message) {
    throw LibraryError(message);
}
void __throw_invalid_argument(const char* message) {
    throw LibraryError(message);
}
void __throw_length_error(const char* message) {
    throw LibraryError(message);
}
void __throw_out_of_range(const char* message) {
    throw LibraryError(message);
}
// The format's arguments are dropped: no one reads the message in a windowed program.
void __throw_out_of_range_fmt(const char* format, ...) {
    throw LibraryError(format);
}
void __throw_runtime_error(const char* message) {
    throw LibraryError(message);
}
void __throw_range_error(const char* message) {
    throw LibraryError(message);
}
void __throw_overflow_error(const char* message) {
    throw LibraryError(message);
}
void __throw_underflow_error(const char* message) {
    throw LibraryError(message);
}
}  // namespace std

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    roi::ProcessHooks hooks;
    hooks.prepareGlobals = prepareGlobals;
    hooks.releaseGlobals = releaseSession;
    roi::runProcess(roi::mainRoutine, hooks);
}
