// The runtime every Win32 part shares: per-thread records, the error slot through
// which services report failures, and process start-up/exit; the x87 working mode and
// the seam for calls into Windows are in app/system_call.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/system_call.h"
#include "core/runtime_errors.h"

namespace roi {

// Exit code of the start-up refusal and of a fatal runtime error.
inline constexpr UINT FATAL_EXIT_CODE = 255;

// Per-thread record: 128 zeroed bytes from GlobalAlloc, reached through one TLS slot.
struct ThreadRecord {
    std::uint8_t* errorSlot;  // slot of the innermost routine that owns one on this thread
    HWND currentCanvas;       // surface that canvas output goes to
    int defaultDialogFont;    // font number a new dialog uses
    UINT codePage;            // code page of every 8-bit <-> UTF-16 conversion
};
static_assert(sizeof(ThreadRecord) <= 128, "the record is one 128-byte block");

// The calling thread's record, created on first use; a new thread's record takes
// its font and code page from the main thread's. Never null (allocation failure is fatal).
// In a program that does not start through runProcess (a test program), the first
// thread to ask becomes the main thread, with font 1 and code page 0.
ThreadRecord& threadRecord();

// Releases the calling thread's record, if it has one; a thread that used runtime
// services calls this when its work ends. A later use creates a fresh record.
void releaseThreadRecord();

// The error slot of one routine's activation. Constructing it makes it the thread's
// current slot (cleared); destroying it gives the previous one back. Services report
// into whatever slot is current, so callers never pass it around.
class ErrorSlot {
public:
    ErrorSlot();
    ~ErrorSlot();
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;

    std::uint8_t code() const { return code_; }
    void clear() { code_ = 0; }

private:
    std::uint8_t code_ = 0;
    std::uint8_t* previous_ = nullptr;
};

// A service's failure: stores code (0 is stored as ERR_INTERNAL) in the current slot;
// a code of FIRST_FATAL_ERROR or more ends the process with exit code 255. Returns so the service can
// give its neutral result.
void reportError(int code);

// The program's main routine: module handle, 0, command tail, show state.
using MainRoutine = int (*)(HINSTANCE module, HINSTANCE unused, const wchar_t* commandTail, int showState);

// What the program (app/main.cpp, which links every layer) adds to start-up and exit.
// The runtime itself knows nothing of the session, the file layer or the dialog
// engine, so it asks for their global state through these.
struct ProcessHooks {
    // The start-up's global state, once the working control word is loaded: clear the
    // session values, empty the file layer's channel table, create the default font table.
    void (*prepareGlobals)() = nullptr;
    // The exit's first step, before the main thread's record goes: release the
    // program's global values.
    void (*releaseGlobals)() = nullptr;

    // Seams for tests only; null means the real call. getVersion stands for
    // GetVersionExA (the platform check cannot be driven otherwise on an NT system),
    // messageBox for the refusal's MessageBoxA.
    BOOL (*getVersion)(OSVERSIONINFOA* info) = nullptr;
    int (*messageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT style) = nullptr;
};

// The process entry: start-up steps, main routine, exit steps. Does not return.
[[noreturn]] void runProcess(MainRoutine mainRoutine);
[[noreturn]] void runProcess(MainRoutine mainRoutine, const ProcessHooks& hooks);

// Start-up values, set once before the main routine runs.
HINSTANCE moduleHandle();
// The module that owns the program's windows and resources: moduleHandle(), or the
// running image's own handle before start-up has run (test programs).
HINSTANCE programInstance();

}  // namespace roi
