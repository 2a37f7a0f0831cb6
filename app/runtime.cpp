// The runtime foundation: per-thread records reached through one TLS slot, the
// error slot convention, the x87 working mode, and the process's start-up and exit.
#include "app/runtime.h"

#include <commctrl.h>
#include <objbase.h>

#include <atomic>
#include <cwchar>
#include <new>
#include <string>

#include "app/spin_lock.h"
#include "core/command_tail.h"

namespace roi {

namespace {

constexpr SIZE_T THREAD_RECORD_BYTES = 128;
constexpr int MAIN_DEFAULT_DIALOG_FONT = 1;
constexpr UINT MAIN_CODE_PAGE = CP_ACP;
constexpr std::uint8_t MAX_ERROR_CODE = 255;
constexpr UINT REFUSAL_STYLE = MB_OK | MB_TASKMODAL | MB_SETFOREGROUND;
constexpr DWORD COMMON_CONTROL_CLASSES = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES |
                                         ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_HOTKEY_CLASS |
                                         ICC_PAGESCROLLER_CLASS | ICC_NATIVEFNTCTL_CLASS | ICC_STANDARD_CLASSES;
constexpr DWORD OS_VERSION_INFO_BYTES = 0x94;

static_assert(REFUSAL_STYLE == 0x00012000);
static_assert(sizeof(OSVERSIONINFOA) == OS_VERSION_INFO_BYTES);
static_assert(COMMON_CONTROL_CLASSES == 0x706F);

// Guards the lazy TLS index and the main record pointer; held for a few loads and stores.
SpinLock runtimeLock;
std::atomic<DWORD> tlsSlot{TLS_OUT_OF_INDEXES};
ThreadRecord* mainRecord = nullptr;

HINSTANCE programModule = nullptr;
int showState = SW_SHOWDEFAULT;
const wchar_t* commandTail = L"";

[[noreturn]] void fatalExit() {
    ExitProcess(FATAL_EXIT_CODE);  // never returns: no word to load after it
}

DWORD tlsIndex() {
    if (tlsSlot != TLS_OUT_OF_INDEXES) {
        return tlsSlot;
    }
    LockGuard guard(runtimeLock);
    if (tlsSlot == TLS_OUT_OF_INDEXES) {
        const DWORD index = ROI_SYSTEM_KEEPING_FPU(TlsAlloc());
        if (index == TLS_OUT_OF_INDEXES) {
            fatalExit();
        }
        tlsSlot = index;
    }
    return tlsSlot;
}

ThreadRecord* existingRecord() {
    if (tlsSlot == TLS_OUT_OF_INDEXES) {
        return nullptr;
    }
    // TlsGetValue clears the last error on success; a service may still want it.
    return callSystemKeepingFpu([] {
        const DWORD lastError = GetLastError();
        auto* record = static_cast<ThreadRecord*>(TlsGetValue(tlsSlot));
        SetLastError(lastError);
        return record;
    });
}

// A zeroed 128-byte block. The first record of a process that did not start through
// runProcess becomes the main record.
ThreadRecord& createRecord(DWORD index, bool asMain) {
    const DWORD lastError = ROI_SYSTEM_KEEPING_FPU(GetLastError());
    void* block = ROI_SYSTEM_KEEPING_FPU(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, THREAD_RECORD_BYTES));
    if (block == nullptr) {
        fatalExit();
    }
    auto* record = new (block) ThreadRecord{};
    {
        LockGuard guard(runtimeLock);
        if (asMain || mainRecord == nullptr) {
            record->defaultDialogFont = MAIN_DEFAULT_DIALOG_FONT;
            record->codePage = MAIN_CODE_PAGE;
            mainRecord = record;
        } else {
            record->defaultDialogFont = mainRecord->defaultDialogFont;
            record->codePage = mainRecord->codePage;
        }
    }
    if (!ROI_SYSTEM_KEEPING_FPU(TlsSetValue(index, record))) {
        fatalExit();
    }
    ROI_SYSTEM_KEEPING_FPU(SetLastError(lastError));
    return *record;
}

void freeRecord(ThreadRecord* record) {
    {
        LockGuard guard(runtimeLock);
        if (mainRecord == record) {
            mainRecord = nullptr;
        }
    }
    ROI_SYSTEM_KEEPING_FPU(TlsSetValue(tlsSlot, nullptr));
    record->~ThreadRecord();
    if (ROI_SYSTEM_KEEPING_FPU(GlobalFree(record)) != nullptr) {
        // A block that cannot be released is fatal.
        reportError(ERR_BAD_MEMORY_BLOCK);
    }
}

}  // namespace

ThreadRecord& threadRecord() {
    const DWORD index = tlsIndex();
    if (ThreadRecord* record = existingRecord()) {
        return *record;
    }
    return createRecord(index, false);
}

void releaseThreadRecord() {
    if (ThreadRecord* record = existingRecord()) {
        freeRecord(record);
    }
}

ErrorSlot::ErrorSlot() {
    ThreadRecord& record = threadRecord();
    previous_ = record.errorSlot;
    record.errorSlot = &code_;
}

ErrorSlot::~ErrorSlot() {
    // The record may have been released while this slot was current; do not make a new one.
    ThreadRecord* record = existingRecord();
    if (record != nullptr && record->errorSlot == &code_) {
        record->errorSlot = previous_;
    }
}

void reportError(int code) {
    std::uint8_t stored = MAX_ERROR_CODE;
    if (code <= 0) {
        stored = ERR_INTERNAL;
    } else if (code < MAX_ERROR_CODE) {
        stored = static_cast<std::uint8_t>(code);
    }
    ThreadRecord& record = threadRecord();
    if (record.errorSlot != nullptr) {
        *record.errorSlot = stored;
    }
    if (stored >= FIRST_FATAL_ERROR) {
        fatalExit();
    }
}

// Out of line and not inlined: the x87 register stack is empty at a call boundary, so
// fnsave (which also reinitialises the unit) cannot lose a value the compiler keeps there.
__attribute__((noinline)) unsigned currentControlWord() {
    unsigned short word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

__attribute__((noinline)) void loadControlWord(unsigned word) {
    const auto value = static_cast<unsigned short>(word);
    __asm__ volatile("fldcw %0" : : "m"(value));
}

__attribute__((noinline)) void saveFpuState(FpuState& state) {
    __asm__ volatile("fnsave %0" : "=m"(state.bytes) : : "memory");
}

__attribute__((noinline)) void restoreFpuState(const FpuState& state) {
    __asm__ volatile("frstor %0" : : "m"(state.bytes) : "memory");
}

namespace {
std::atomic<AfterSystemCall> afterSystemCallHook{nullptr};
}  // namespace

void setAfterSystemCall(AfterSystemCall hook) {
    afterSystemCallHook.store(hook);
}

void afterSystemCall() {
    if (const AfterSystemCall hook = afterSystemCallHook.load()) {
        hook();
    }
}

HINSTANCE moduleHandle() {
    return programModule;
}

HINSTANCE programInstance() {
    return programModule != nullptr ? programModule : ROI_SYSTEM(GetModuleHandleW(nullptr));
}

void runProcess(MainRoutine mainRoutine) {
    runProcess(mainRoutine, ProcessHooks{});
}

namespace {

// Only NT platforms are supported; the box has no caption so Windows shows its own.
void refuseOtherPlatforms(const ProcessHooks& hooks) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = OS_VERSION_INFO_BYTES;
    const BOOL versionKnown =
        hooks.getVersion != nullptr ? ROI_SYSTEM(hooks.getVersion(&version)) : ROI_SYSTEM(GetVersionExA(&version));
    if (versionKnown && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        return;
    }
    if (hooks.messageBox != nullptr) {
        ROI_SYSTEM(hooks.messageBox(nullptr, "Win98 No Support", nullptr, REFUSAL_STYLE));
    } else {
        ROI_SYSTEM(MessageBoxA(nullptr, "Win98 No Support", nullptr, REFUSAL_STYLE));
    }
    fatalExit();
}

// Show state, command tail and module handle, in that order.
void readStartupValues() {
    // cb is the structure's own size (68 bytes on the 32-bit build).
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = 0;
    ROI_SYSTEM(GetStartupInfoA(&startup));
    showState = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;

    // The tail is a pointer into the command line, past the program name.
    const wchar_t* line = ROI_SYSTEM(GetCommandLineW());
    if (line == nullptr) {
        line = L"";
    }
    const std::size_t length = std::wcslen(line);
    const std::u16string units(line, line + length);
    commandTail = line + commandTailOffset(units);

    programModule = ROI_SYSTEM(GetModuleHandleW(nullptr));
}

// Results not examined: the program runs without COM and the common controls as well.
void startComAndControls() {
    ROI_SYSTEM(CoInitialize(nullptr));
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = COMMON_CONTROL_CLASSES;
    ROI_SYSTEM(InitCommonControlsEx(&controls));
}

// Globals, the main record and its slot, COM, then the process.
[[noreturn]] void endProcess(int result, const ProcessHooks& hooks) {
    if (hooks.releaseGlobals != nullptr) {
        hooks.releaseGlobals();
    }
    releaseThreadRecord();
    ROI_SYSTEM(TlsFree(tlsSlot));
    tlsSlot = TLS_OUT_OF_INDEXES;
    ROI_SYSTEM(CoUninitialize());
    ExitProcess(static_cast<UINT>(result));
}

}  // namespace

void runProcess(MainRoutine mainRoutine, const ProcessHooks& hooks) {
    // 1. The platform check.
    refuseOtherPlatforms(hooks);

    // 2. Show state, command tail, module handle.
    readStartupValues();

    // 3. Thread state: the slot index and the main thread's record.
    tlsIndex();
    if (ThreadRecord* early = existingRecord()) {
        freeRecord(early);
    }
    createRecord(tlsSlot, true);

    // 4. COM and the common controls.
    startComAndControls();

    // 5. The working control word, then the program's global state. From here on every
    // call into Windows loads the word again as it returns (app/system_call.h).
    loadWorkingControlWord();
    if (hooks.prepareGlobals != nullptr) {
        hooks.prepareGlobals();
    }

    // 6. The main routine, then the exit.
    endProcess(mainRoutine(programModule, nullptr, commandTail, showState), hooks);
}

}  // namespace roi
