// A program that starts through runProcess with the seams its first argument names.
// The process tests read its exit code (and its message box, for the refusals).
#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "app/runtime.h"
#include "core/command_tail.h"
#include "storage/text_file.h"

namespace {

// Exit codes that tell the test which check of the normal start failed.
enum : int {
    PROBE_OK = 0,
    PROBE_BAD_MODULE = 101,
    PROBE_BAD_UNUSED = 102,
    PROBE_BAD_CONTROL_WORD = 103,
    PROBE_BAD_RECORD = 104,
    PROBE_NOT_PREPARED = 105,
    PROBE_NO_COM = 106,
    PROBE_UNREACHED = 107,  // a fatal error did not end the process
    PROBE_PREPARED_TOO_EARLY = 108,
    PROBE_BAD_REFUSAL_BOX = 109,
    PROBE_RELEASED = 110,
    PROBE_TAIL_NOT_IN_LINE = 111,
};

std::wstring probeMode;
bool globalsPrepared = false;
bool mainRan = false;

void prepare() {
    globalsPrepared = true;
}

// Refusal modes: start-up must stop before the program's state is prepared.
void prepareMustNotRun() {
    ExitProcess(PROBE_PREPARED_TOO_EARLY);
}

void releaseAfterMain() {
    if (probeMode == L"release" && mainRan) {
        ExitProcess(PROBE_RELEASED);
    }
}

DWORD fakePlatform = VER_PLATFORM_WIN32_NT;

BOOL fakeVersion(OSVERSIONINFOA* info) {
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        return FALSE;
    }
    info->dwPlatformId = fakePlatform;
    return TRUE;
}

BOOL failingVersion(OSVERSIONINFOA*) {
    return FALSE;
}

// Checks the refusal's arguments instead of showing the box; a wrong one changes the exit code.
int checkingBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    const bool right = owner == nullptr && caption == nullptr && style == 0x00012000 && text != nullptr &&
                       std::string_view(text) == "Win98 No Support";
    if (!right) {
        ExitProcess(PROBE_BAD_REFUSAL_BOX);
    }
    return IDOK;
}

void fatalOnFilePointer(roi::SystemCall call) {
    if (call == roi::SystemCall::Seek) {
        SetLastError(ERROR_INVALID_BLOCK);  // system error 9 maps to the fatal 241
    }
}

DWORD WINAPI fatalThread(LPVOID) {
    roi::ErrorSlot slot;
    roi::reportError(250);  // past every named code: still fatal
    return 0;
}

// "linger": holds whatever handles it inherited until the event that the tail names
// after the mode is set (at most 30 s).
int lingerUntilSet(const std::wstring& tail) {
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, tail.substr(tail.find(L' ') + 1).c_str());
    if (event == nullptr) {
        return PROBE_UNREACHED;
    }
    WaitForSingleObject(event, 30000);
    CloseHandle(event);
    return PROBE_OK;
}

// "normal": the state the main routine may rely on.
int checkTheNormalStart(HINSTANCE module, HINSTANCE unused) {
    if (module != GetModuleHandleW(nullptr) || module != roi::moduleHandle()) {
        return PROBE_BAD_MODULE;
    }
    if (unused != nullptr) {
        return PROBE_BAD_UNUSED;
    }
    if (!roi::sameControlWord(roi::currentControlWord(), roi::WORKING_CONTROL_WORD)) {
        return PROBE_BAD_CONTROL_WORD;
    }
    const roi::ThreadRecord& record = roi::threadRecord();
    if (record.defaultDialogFont != 1 || record.codePage != CP_ACP || record.errorSlot != nullptr) {
        return PROBE_BAD_RECORD;
    }
    if (!globalsPrepared) {
        return PROBE_NOT_PREPARED;
    }
    // COM is already initialised on this thread, so a second call says so.
    const HRESULT again = CoInitialize(nullptr);
    if (again != S_FALSE) {
        return PROBE_NO_COM;
    }
    CoUninitialize();
    return PROBE_OK;
}

int probeMain(HINSTANCE module, HINSTANCE unused, const wchar_t* commandTail, int showState) {
    mainRan = true;
    if (probeMode == L"show") {
        return showState;
    }
    if (probeMode == L"tail") {
        // The tail is a pointer into the process's own command line.
        const wchar_t* line = GetCommandLineW();
        if (commandTail < line || commandTail > line + std::wcslen(line)) {
            return PROBE_TAIL_NOT_IN_LINE;
        }
        return static_cast<int>(std::wcslen(commandTail));
    }
    if (probeMode == L"fatal") {
        roi::ErrorSlot slot;
        roi::reportError(roi::FIRST_FATAL_ERROR);
        return PROBE_UNREACHED;
    }
    if (probeMode == L"fatal-thread") {
        HANDLE thread = CreateThread(nullptr, 0, fatalThread, nullptr, 0, nullptr);
        if (thread != nullptr) {
            WaitForSingleObject(thread, 30000);
            CloseHandle(thread);
        }
        return PROBE_UNREACHED;
    }
    if (probeMode == L"file-fatal") {
        roi::setSystemCallSeam(fatalOnFilePointer);
        wchar_t directory[MAX_PATH];
        if (GetTempPathW(MAX_PATH, directory) == 0) {
            return PROBE_OK;  // cannot test; the caller then sees 0, not 255
        }
        roi::ErrorSlot slot;
        const std::wstring wide = std::wstring(directory) + L"roi_probe_fatal.txt";
        (void)roi::openWrite(1, std::string(wide.begin(), wide.end()));
        return PROBE_UNREACHED;
    }
    if (probeMode == L"soft") {
        roi::ErrorSlot slot;
        roi::reportError(roi::ERR_NOT_FOUND);  // not fatal: the routine goes on to its next step
        return slot.code();
    }
    if (probeMode == L"release") {
        return PROBE_OK;
    }
    if (probeMode == L"linger") {
        return lingerUntilSet(commandTail);
    }
    return checkTheNormalStart(module, unused);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* line = GetCommandLineW();
    const std::u16string units(line, line + std::wcslen(line));
    const std::wstring tail(line + roi::commandTailOffset(units));
    probeMode = tail.substr(0, tail.find(L' '));

    roi::ProcessHooks hooks;
    hooks.prepareGlobals = prepare;
    hooks.releaseGlobals = releaseAfterMain;
    if (probeMode == L"win9x" || probeMode == L"win32s" || probeMode == L"noversion" || probeMode == L"win9x-args") {
        hooks.prepareGlobals = prepareMustNotRun;
        hooks.getVersion = probeMode == L"noversion" ? failingVersion : fakeVersion;
        fakePlatform = probeMode == L"win32s" ? VER_PLATFORM_WIN32s : VER_PLATFORM_WIN32_WINDOWS;
        if (probeMode == L"win9x-args") {
            hooks.messageBox = checkingBox;
        }
    }
    roi::runProcess(probeMain, hooks);
}
