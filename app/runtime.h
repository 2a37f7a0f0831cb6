// The runtime every Win32 part shares: per-thread records, the error slot through
// which services report failures, the x87 working mode, and process start-up/exit.
#pragma once

#include <windows.h>

#include <cstdint>

namespace roi {

// x87 control word for the whole run: all exceptions masked, 64-bit significand,
// round to nearest.
inline constexpr unsigned WORKING_CONTROL_WORD = 0x133F;

// Exit code of the start-up refusal and of a fatal runtime error.
inline constexpr UINT FATAL_EXIT_CODE = 255;

// Codes of this value and above end the process at once.
inline constexpr int FIRST_FATAL_ERROR = 241;

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
ThreadRecord& threadRecord();

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

// A service's failure: stores code (0 is stored as 51) in the current slot; a code
// of 241 or more ends the process with exit code 255. Returns so the service can
// give its neutral result.
void reportError(int code);

// x87 helpers. The control word is reloaded after calls into Windows, which may change it.
unsigned currentControlWord();
void loadControlWord(unsigned word);
inline void loadWorkingControlWord() { loadControlWord(WORKING_CONTROL_WORD); }

// The whole x87 state (fnsave/frstor), kept around each system call of the file layer.
struct FpuState {
    alignas(16) unsigned char bytes[108];
};
void saveFpuState(FpuState& state);
void restoreFpuState(const FpuState& state);

// The program's main routine: module handle, 0, command tail, show state.
using MainRoutine = int (*)(HINSTANCE module, HINSTANCE unused, const wchar_t* commandTail, int showState);

// The process entry: start-up steps, main routine, exit steps. Does not return.
[[noreturn]] void runProcess(MainRoutine mainRoutine);

// Start-up values, set once before the main routine runs.
HINSTANCE moduleHandle();

}  // namespace roi
