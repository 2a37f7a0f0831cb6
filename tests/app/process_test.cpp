// Start-up and exit as a whole process: the probe program beside this test starts
// through runProcess with the seams its first argument names.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/runtime.h"
#include "storage/text_file.h"

namespace {

constexpr DWORD WAIT_LIMIT_MS = 60000;
constexpr DWORD NOT_FINISHED = 0xFFFFFFFF;

std::wstring probePath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1) + L"runtime_probe.exe";
}

struct Probe {
    PROCESS_INFORMATION info{};
    bool started = false;

    Probe(const std::wstring& commandLine, const STARTUPINFOW* startup = nullptr, bool inheritHandles = false) {
        STARTUPINFOW plain{};
        plain.cb = sizeof(plain);
        std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
        line.push_back(L'\0');
        const std::wstring application = probePath();
        started =
            CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, inheritHandles, 0, nullptr, nullptr,
                           const_cast<STARTUPINFOW*>(startup != nullptr ? startup : &plain), &info) != FALSE;
    }
    ~Probe() {
        if (started) {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(info.hProcess, 1);
            }
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    DWORD exitCode(DWORD limit = WAIT_LIMIT_MS) const {
        if (WaitForSingleObject(info.hProcess, limit) != WAIT_OBJECT_0) {
            return NOT_FINISHED;
        }
        DWORD code = NOT_FINISHED;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
};

std::wstring quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

DWORD runProbe(const std::wstring& mode) {
    Probe probe(quoted(probePath()) + L" " + mode);
    EXPECT_TRUE(probe.started) << "CreateProcessW failed: " << GetLastError();
    return probe.started ? probe.exitCode() : NOT_FINISHED;
}

TEST(Process, ExitCodes) {
    struct Case {
        const wchar_t* mode;
        DWORD exitCode;
    };
    const Case cases[] = {
        {L"normal", 0},          // start-up state complete, main routine's 0 becomes the exit code
        {L"soft", 53},           // a code below 241 lets the routine go on; the slot holds it
        {L"fatal", 255},         // 241 ends the process at once
        {L"fatal-thread", 255},  // from any thread
        {L"file-fatal", 255},    // a system error the file layer maps to 241
        {L"release", 110},       // the exit sequence releases the globals after the main routine
        {L"win9x-args", 255},    // refusal with the box's exact arguments (checked in the probe)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode, c.mode + wcslen(c.mode)));
        EXPECT_EQ(runProbe(c.mode), c.exitCode);
    }
}

TEST(Process, ShowStateComesFromStartupInfo) {
    struct Case {
        bool useShowWindow;
        WORD showWindow;
        DWORD expected;
    };
    const Case cases[] = {
        {true, SW_SHOWMINIMIZED, 2},
        {true, SW_HIDE, 0},
        {false, SW_SHOWMINIMIZED, SW_SHOWDEFAULT},  // ignored without the flag
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.useShowWindow);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = c.useShowWindow ? STARTF_USESHOWWINDOW : 0;
        startup.wShowWindow = c.showWindow;
        Probe probe(quoted(probePath()) + L" show", &startup);
        ASSERT_TRUE(probe.started);
        EXPECT_EQ(probe.exitCode(), c.expected);
    }
}

TEST(Process, CommandTailFollowsProgramName) {
    struct Case {
        std::wstring line;
        DWORD tailLength;
    };
    const std::wstring path = probePath();
    const Case cases[] = {
        {quoted(path) + L"   tail a b", 8},  // blanks after the quoted name are skipped
        {quoted(path) + L"tail xy", 7},      // no blank needed after a quoted name
        {path + L" tail", 4},                // unquoted name ends at the blank
        {path + L"  tail  ", 6},             // trailing blanks stay in the tail
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line.begin(), c.line.end()));
        Probe probe(c.line);
        ASSERT_TRUE(probe.started);
        EXPECT_EQ(probe.exitCode(), c.tailLength);
    }
}

// The refusal shows a real box; find it among the probe's windows and close it.
struct Windows {
    DWORD processId = 0;
    int visible = 0;
    HWND box = nullptr;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM parameter) {
    auto* found = reinterpret_cast<Windows*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->processId && IsWindowVisible(window)) {
        ++found->visible;
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (std::wstring(name) == L"#32770") {
            found->box = window;
        }
    }
    return TRUE;
}

struct BoxContent {
    bool hasText = false;
    int buttons = 0;
};

BOOL CALLBACK collectChild(HWND child, LPARAM parameter) {
    auto* content = reinterpret_cast<BoxContent*>(parameter);
    wchar_t text[128] = {};
    GetWindowTextW(child, text, 128);
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (std::wstring(text) == L"Win98 No Support") {
        content->hasText = true;
    }
    if (lstrcmpiW(name, L"Button") == 0 && IsWindowVisible(child)) {
        ++content->buttons;
    }
    return TRUE;
}

TEST(Process, RefusalShowsBoxThenExits255) {
    const wchar_t* modes[] = {L"win9x", L"win32s", L"noversion"};
    for (const wchar_t* mode : modes) {
        SCOPED_TRACE(std::string(mode, mode + wcslen(mode)));
        Probe probe(quoted(probePath()) + L" " + mode);
        ASSERT_TRUE(probe.started);

        Windows found;
        found.processId = probe.info.dwProcessId;
        for (DWORD waited = 0; found.box == nullptr && waited < WAIT_LIMIT_MS; waited += 50) {
            if (WaitForSingleObject(probe.info.hProcess, 50) == WAIT_OBJECT_0) {
                break;
            }
            found = Windows{};
            found.processId = probe.info.dwProcessId;
            EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&found));
        }
        ASSERT_NE(found.box, nullptr) << "no message box appeared";
        EXPECT_EQ(found.visible, 1);  // the box and no calculator window

        BoxContent content;
        EnumChildWindows(found.box, collectChild, reinterpret_cast<LPARAM>(&content));
        EXPECT_TRUE(content.hasText);
        EXPECT_EQ(content.buttons, 1);
        wchar_t caption[64] = {};
        EXPECT_GT(GetWindowTextW(found.box, caption, 64), 0);  // the system's default caption
        EXPECT_NE(GetDlgItem(found.box, IDOK), nullptr);

        EXPECT_EQ(probe.exitCode(500), NOT_FINISHED);  // the process waits for the box
        PostMessageW(found.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(found.box, IDOK)));
        EXPECT_EQ(probe.exitCode(), 255u);
    }
}

TEST(Process, ChildInheritsAnOpenChannelsHandle) {
    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring stamp = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
    const std::wstring widePath = std::wstring(folder) + L"roi_inherit_" + stamp + L".txt";
    const std::string path(widePath.begin(), widePath.end());
    const std::wstring eventName = L"roi_probe_linger_" + stamp;
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(release, nullptr);

    roi::ErrorSlot slot;
    ASSERT_EQ(roi::openWrite(1, path), 0);
    ASSERT_EQ(roi::writeQuoted(1, "kept"), 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    Probe child(quoted(probePath()) + L" linger " + eventName, &startup, true);
    const int closed = roi::closeChannel(1);
    ASSERT_TRUE(child.started);
    EXPECT_EQ(closed, 0);

    // The child's copy of the unshared handle still holds the file.
    EXPECT_EQ(roi::openRead(2, path), 70);
    EXPECT_EQ(slot.code(), 70);
    EXPECT_EQ(roi::closeChannel(2), 0);

    slot.clear();
    SetEvent(release);
    EXPECT_EQ(child.exitCode(), 0u);
    EXPECT_EQ(roi::openRead(2, path), 0);
    std::string kept;
    EXPECT_EQ(roi::readField(2, kept), 0);
    EXPECT_EQ(kept, "kept");
    EXPECT_EQ(roi::closeChannel(2), 0);
    EXPECT_EQ(slot.code(), 0);
    CloseHandle(release);
    DeleteFileW(widePath.c_str());
}

}  // namespace
