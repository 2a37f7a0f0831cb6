// The program's own entry for kernel32's GetTickCount64, which Windows XP lacks.
//
// winpthreads, the thread library of the posix thread model (which the tests need for
// std::thread), is linked into the program and imports GetTickCount64 for its timed
// waits; through it the program would import a function that XP does not have, and
// XP's loader would refuse to start it. Here the import table slot the library calls
// through, __imp_GetTickCount64, is defined by the program itself: the linker then
// takes this definition and never makes an import entry for the function. The slot
// points to tickCount64, which calls kernel32's function where there is one and
// otherwise carries GetTickCount's 32-bit count over its wraps.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "core/tick_count.h"

namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();

// The latest count handed out without kernel32's function.
std::atomic<std::uint64_t> lastCount{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

ULONGLONG WINAPI extendedTickCount() {
    std::uint64_t previous = lastCount.load();
    std::uint64_t next = 0;
    do {
        next = roi::extendTickCount(previous, GetTickCount());
    } while (!lastCount.compare_exchange_weak(previous, next));
    return next;
}

TickCount64Function findTickCount64() {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC function = kernel != nullptr ? GetProcAddress(kernel, "GetTickCount64") : nullptr;
    return function != nullptr ? reinterpret_cast<TickCount64Function>(reinterpret_cast<void*>(function))
                               : extendedTickCount;
}

// Looked up on the first call; threads that race there find the same function. No
// function-local static: its guard takes a winpthreads lock, whose waits come back here.
std::atomic<TickCount64Function> tickCountFunction{nullptr};

ULONGLONG WINAPI tickCount64() {
    TickCount64Function function = tickCountFunction.load(std::memory_order_acquire);
    if (function == nullptr) {
        function = findTickCount64();
        tickCountFunction.store(function, std::memory_order_release);
    }
    return function();
}

}  // namespace

// The slot's name as the import library spells it: stdcall decorated on 32-bit x86.
#if defined(__i386__)
#define ROI_TICK_COUNT_SLOT "__imp__GetTickCount64@0"
#else
#define ROI_TICK_COUNT_SLOT "__imp_GetTickCount64"
#endif
extern "C" {
__attribute__((used)) TickCount64Function roiTickCount64Slot __asm__(ROI_TICK_COUNT_SLOT) = tickCount64;
}
