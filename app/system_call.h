// The one seam for direct calls into Windows, and the x87 working mode it keeps.
//
// A call into Windows may come back with the x87 control word changed (a driver, a
// hook, a DLL built for another precision), and the program computes in the working
// word. So every direct call in app/, ui/ and storage/ is written inside ROI_SYSTEM(...),
// which loads the working word again as soon as the call returns, in the manner of
// {fmt}'s FMT_POSIX_CALL around each POSIX call. The parts any caller may use in an x87
// state of its own (the file layer, the thread records, the code-page conversions)
// write ROI_SYSTEM_KEEPING_FPU(...) instead, which gives that caller's whole x87 state
// back. Procedures and thread functions that Windows enters load the word on entry
// (ui/procedure_guard.h). The test system_calls_bracketed (scripts/check-system-calls.pl)
// fails on a direct call outside the two.
#pragma once

#include <utility>

namespace roi {

// x87 control word for the whole run: all exceptions masked, 64-bit significand,
// round to nearest.
inline constexpr unsigned WORKING_CONTROL_WORD = 0x133F;

// The control word's defined bits; the reserved bit 6 reads back as 1 whatever was loaded.
inline constexpr unsigned CONTROL_WORD_BITS = 0x1F3F;
inline constexpr bool sameControlWord(unsigned a, unsigned b) {
    return ((a ^ b) & CONTROL_WORD_BITS) == 0;
}

unsigned currentControlWord();
void loadControlWord(unsigned word);
inline void loadWorkingControlWord() {
    loadControlWord(WORKING_CONTROL_WORD);
}

// The whole x87 state (fnsave/frstor).
struct FpuState {
    alignas(16) unsigned char bytes[108];
};
void saveFpuState(FpuState& state);
void restoreFpuState(const FpuState& state);

// Test seam, null in the program: runs after every call through the seam, before the
// x87 is put right, standing for a system call that changes the control word.
using AfterSystemCall = void (*)();
void setAfterSystemCall(AfterSystemCall hook);
void afterSystemCall();  // runs the hook, if one is set

namespace detail {

class WorkingWordAfterCall {
public:
    WorkingWordAfterCall() = default;
    ~WorkingWordAfterCall() {
        afterSystemCall();
        loadWorkingControlWord();
    }
    WorkingWordAfterCall(const WorkingWordAfterCall&) = delete;
    WorkingWordAfterCall& operator=(const WorkingWordAfterCall&) = delete;
};

class FpuStateAfterCall {
public:
    FpuStateAfterCall() { saveFpuState(state_); }
    ~FpuStateAfterCall() {
        afterSystemCall();
        restoreFpuState(state_);
    }
    FpuStateAfterCall(const FpuStateAfterCall&) = delete;
    FpuStateAfterCall& operator=(const FpuStateAfterCall&) = delete;

private:
    FpuState state_;
};

}  // namespace detail

// Runs call() and returns what it returns, with the working word loaded after it.
template <class Call>
decltype(auto) callSystem(Call&& call) {
    const detail::WorkingWordAfterCall after;
    return std::forward<Call>(call)();
}

// Runs call() and returns what it returns, with the caller's whole x87 state put back after it.
template <class Call>
decltype(auto) callSystemKeepingFpu(Call&& call) {
    const detail::FpuStateAfterCall after;
    return std::forward<Call>(call)();
}

}  // namespace roi

// One direct call into Windows (or a few nested in one expression, with no floating-point
// arithmetic between them): ROI_SYSTEM(SetWindowTextW(control, text)).
#define ROI_SYSTEM(...) ::roi::callSystem([&]() -> decltype(auto) { return __VA_ARGS__; })
#define ROI_SYSTEM_KEEPING_FPU(...) ::roi::callSystemKeepingFpu([&]() -> decltype(auto) { return __VA_ARGS__; })
