// The outside view of roicalc.exe: process control, window lookup, messages across the
// process boundary, user input and screen grabs. Scenarios live in roicalc_e2e_test.cpp.
#include "tests/e2e/app_driver.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/gdi_table.h"

namespace roi_test::e2e {
namespace {

std::wstring launchedProgram;

// Handles of the children that may still run; the watchdog ends them.
SRWLOCK childLock = SRWLOCK_INIT;
std::vector<HANDLE> liveChildren;

void registerChild(HANDLE process) {
    AcquireSRWLockExclusive(&childLock);
    liveChildren.push_back(process);
    ReleaseSRWLockExclusive(&childLock);
}

void unregisterChild(HANDLE process) {
    AcquireSRWLockExclusive(&childLock);
    for (auto it = liveChildren.begin(); it != liveChildren.end(); ++it) {
        if (*it == process) {
            liveChildren.erase(it);
            break;
        }
    }
    ReleaseSRWLockExclusive(&childLock);
}

DWORD WINAPI watchdogThread(void* parameter) {
    const auto limitSeconds = static_cast<unsigned>(reinterpret_cast<uintptr_t>(parameter));
    Sleep(limitSeconds * 1000u);
    std::fprintf(stderr, "\nwatchdog: the driver ran longer than %u s; ending the program and the driver\n",
                 limitSeconds);
    std::fflush(stderr);
    killAllChildren();
    ExitProcess(3);
}

bool sameText(const std::wstring& a, const wchar_t* b) {
    return a == b;
}

bool startsWith(const std::wstring& text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && std::wstring_view(text).substr(0, prefix.size()) == prefix;
}

// Navigation keys carry the extended-key flag, as on a real keyboard.
bool isExtendedKey(WORD vk) {
    switch (vk) {
    case VK_HOME:
    case VK_END:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_INSERT:
    case VK_DELETE:
        return true;
    default:
        return false;
    }
}

INPUT keyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0u) | (isExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0u);
    return in;
}

LPARAM keyLParam(WORD vk, bool up, bool alt) {
    auto value = static_cast<uint32_t>(1u | (MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16));
    if (isExtendedKey(vk)) {
        value |= 1u << 24;
    }
    if (alt) {
        value |= 1u << 29;
    }
    if (up) {
        value |= (1u << 30) | (1u << 31);
    }
    return static_cast<LPARAM>(value);
}

bool sendInputs(std::vector<INPUT> inputs) {
    const auto count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

void postKey(HWND target, WORD vk) {
    PostMessageW(target, WM_KEYDOWN, vk, keyLParam(vk, false, false));
    PostMessageW(target, WM_KEYUP, vk, keyLParam(vk, true, false));
}

POINT clientCentre(HWND control) {
    RECT rc{};
    GetClientRect(control, &rc);
    return POINT{(rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2};
}

LRESULT CALLBACK otherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::wstring mainCaption() {
    return L"Quillmarsh ROI CALCULATOR" + std::wstring(64, L' ') + L"www.quillmarsh.example";
}

std::wstring helpCaption() {
    return L"Quillmarsh ROI CALCULATOR HELP SCREEN" + std::wstring(42, L' ') + L"www.quillmarsh.example";
}

void setProgramPath(const std::wstring& path) {
    launchedProgram = path;
}

const std::wstring& programPath() {
    return launchedProgram;
}

std::wstring toWindowsPath(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        // Under Wine a Unix path names a file on the drive that maps the root.
        using DosName = wchar_t*(CDECL*)(const char*);
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        const auto dosName =
            kernel
                ? reinterpret_cast<DosName>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")))
                : nullptr;
        if (dosName) {
            if (wchar_t* converted = dosName(path.c_str())) {
                std::wstring result = converted;
                HeapFree(GetProcessHeap(), 0, converted);
                return result;
            }
        }
        std::wstring result = L"Z:";
        for (char c : path) {
            result.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
        }
        return result;
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), result.data(), n);
    return result;
}

void killAllChildren() {
    AcquireSRWLockExclusive(&childLock);
    for (HANDLE process : liveChildren) {
        TerminateProcess(process, 99);
    }
    ReleaseSRWLockExclusive(&childLock);
}

void startWatchdog(unsigned limitSeconds) {
    HANDLE thread = CreateThread(nullptr, 0, watchdogThread,
                                 reinterpret_cast<void*>(static_cast<uintptr_t>(limitSeconds)), 0, nullptr);
    if (thread) {
        CloseHandle(thread);
    }
}

double nowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

void pumpOwnMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// --- files -------------------------------------------------------------------------

std::optional<std::string> readBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    bool ok = true;
    for (;;) {
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, got);
    }
    CloseHandle(file);
    if (!ok) {
        return std::nullopt;
    }
    return content;
}

std::string hexBytes(std::string_view bytes) {
    return bytes.empty() ? std::string("(no bytes)") : hex(bytes);
}

// --- the process -----------------------------------------------------------------------

App::App(std::wstring workingDir) : dir_(std::move(workingDir)) {}

App::~App() {
    kill();
    if (info_.hProcess) {
        unregisterChild(info_.hProcess);
        CloseHandle(info_.hProcess);
    }
    if (info_.hThread) {
        CloseHandle(info_.hThread);
    }
}

bool App::start() {
    std::wstring commandLine = L"\"" + programPath() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startedAt_ = nowMs();
    if (!CreateProcessW(programPath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(),
                        &startup, &info_)) {
        info_ = PROCESS_INFORMATION{};
        return false;
    }
    registerChild(info_.hProcess);
    return true;
}

bool App::running() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> App::waitForExit(DWORD timeoutMs) {
    if (!info_.hProcess) {
        return std::nullopt;
    }
    if (!waitUntil([&] { return !running(); }, timeoutMs)) {
        return std::nullopt;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(info_.hProcess, &code)) {
        return std::nullopt;
    }
    return code;
}

void App::kill() {
    if (running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
}

std::optional<double> App::cpuMs() const {
    FILETIME created, ended, kernel, user;
    if (!info_.hProcess || !GetProcessTimes(info_.hProcess, &created, &ended, &kernel, &user)) {
        return std::nullopt;
    }
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

// --- windows ----------------------------------------------------------------------------

std::wstring classNameOf(HWND window) {
    wchar_t name[256];
    const int n = GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0u);
}

std::wstring captionOf(HWND window) {
    wchar_t text[1024];
    const int n = GetWindowTextW(window, text, 1024);
    return std::wstring(text, n > 0 ? static_cast<size_t>(n) : 0u);
}

namespace {

struct WindowSearch {
    DWORD pid;
    std::vector<TopWindow> found;
};

// Enumeration callbacks are named functions: 32-bit Windows calls them as stdcall.
BOOL CALLBACK collectTopWindow(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.pid) {
        search.found.push_back(TopWindow{window, classNameOf(window), captionOf(window), IsWindowVisible(window) != 0});
    }
    return TRUE;
}

BOOL CALLBACK collectBoxChild(HWND child, LPARAM parameter) {
    auto& content = *reinterpret_cast<BoxContent*>(parameter);
    const std::wstring cls = classNameOf(child);
    const std::wstring text = controlText(child).value_or(L"");
    if (CompareStringOrdinal(cls.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
        content.buttons.push_back(text);
    } else if (CompareStringOrdinal(cls.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL && !text.empty()) {
        content.texts.push_back(text);
    }
    return TRUE;
}

}  // namespace

std::vector<TopWindow> topWindowsOf(DWORD pid) {
    WindowSearch search{pid, {}};
    EnumWindows(collectTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findMainWindow(DWORD pid, bool visibleOnly) {
    for (const TopWindow& w : topWindowsOf(pid)) {
        if (w.className == L"#32770" && startsWith(w.title, L"Quillmarsh ROI CALCULATOR") &&
            (w.visible || !visibleOnly)) {
            return w.hwnd;
        }
    }
    return nullptr;
}

HWND findAnyMessageBox(DWORD pid) {
    for (const TopWindow& w : topWindowsOf(pid)) {
        if (w.className == L"#32770" && sameText(w.title, BOX_TITLE) && w.visible) {
            return w.hwnd;
        }
    }
    return nullptr;
}

HWND findMessageBox(DWORD pid, std::wstring_view text) {
    for (const TopWindow& w : topWindowsOf(pid)) {
        if (w.className != L"#32770" || !sameText(w.title, BOX_TITLE) || !w.visible) {
            continue;
        }
        for (const std::wstring& t : readMessageBox(w.hwnd).texts) {
            if (t == text) {
                return w.hwnd;
            }
        }
    }
    return nullptr;
}

namespace {

BOOL CALLBACK countWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The GDI objects of another process, read from its handle table; -1 where that cannot be.
int gdiTableCount(HANDLE process, DWORD pid) {
#if defined(_WIN64)
    struct BasicInformation {
        void* reserved1;
        void* peb;
        void* reserved2[2];
        ULONG_PTR processId;
        void* reserved3;
    };
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto query =
        ntdll == nullptr
            ? nullptr
            : reinterpret_cast<Query>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    BasicInformation basic{};
    if (query == nullptr || query(process, 0, &basic, sizeof(basic), nullptr) != 0 || basic.peb == nullptr) {
        return -1;
    }
    std::uint64_t table = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, static_cast<const char*>(basic.peb) + PEB_GDI_TABLE_OFFSET, &table, sizeof(table),
                           &read) ||
        table == 0) {
        return -1;
    }
    std::vector<GdiHandleEntry> entries(GDI_TABLE_ENTRIES);
    const SIZE_T bytes = entries.size() * sizeof(GdiHandleEntry);
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(), bytes, &read) ||
        read != bytes) {
        return -1;
    }
    return countGdiEntries(entries.data(), pid);
#else
    (void)process;
    (void)pid;
    return -1;
#endif
}

}  // namespace

GuiCounts guiCountsOf(HANDLE process, DWORD pid) {
    GuiCounts counts;
    counts.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
    counts.userObjects = GetGuiResources(process, GR_USEROBJECTS);
    for (const TopWindow& w : topWindowsOf(pid)) {
        ++counts.windows;
        EnumChildWindows(w.hwnd, countWindow, reinterpret_cast<LPARAM>(&counts.windows));
    }
    counts.gdiTable = gdiTableCount(process, pid);
    return counts;
}

std::string describe(const GuiCounts& counts) {
    return "GDI objects " + std::to_string(counts.gdiObjects) + ", USER objects " + std::to_string(counts.userObjects) +
           ", windows " + std::to_string(counts.windows) + ", GDI table entries " + std::to_string(counts.gdiTable);
}

std::vector<HWND> helpWindowsOf(DWORD pid) {
    std::vector<HWND> found;
    for (const TopWindow& w : topWindowsOf(pid)) {
        if (w.className == HELP_CLASS && w.visible) {
            found.push_back(w.hwnd);
        }
    }
    return found;
}

std::string describeWindows(DWORD pid) {
    std::string out;
    for (const TopWindow& w : topWindowsOf(pid)) {
        out += "  class '" + narrow(w.className) + "' title '" + narrow(w.title) + "'" +
               (w.visible ? "" : " (hidden)") + "\n";
    }
    return out.empty() ? std::string("  (no top-level windows)\n") : out;
}

BoxContent readMessageBox(HWND box) {
    BoxContent content;
    EnumChildWindows(box, collectBoxChild, reinterpret_cast<LPARAM>(&content));
    return content;
}

bool dismissMessageBox(HWND box) {
    HWND button = FindWindowExW(box, nullptr, L"Button", nullptr);
    if (button) {
        PostMessageW(button, BM_CLICK, 0, 0);
        if (waitUntil([&] { return !IsWindow(box); }, 3000)) {
            return true;
        }
    }
    // A box that ignored the click still closes on its OK command.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return waitUntil([&] { return !IsWindow(box); });
}

// --- messages -----------------------------------------------------------------------------

bool sendTimed(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, SEND_MS, &answer)) {
        return false;
    }
    if (result) {
        *result = static_cast<LRESULT>(answer);
    }
    return true;
}

std::optional<std::wstring> controlText(HWND control) {
    LRESULT length = 0;
    if (!control || !sendTimed(control, WM_GETTEXTLENGTH, 0, 0, &length) || length < 0) {
        return std::nullopt;
    }
    std::wstring text(static_cast<size_t>(length) + 16, L'\0');
    LRESULT copied = 0;
    if (!sendTimed(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied)) {
        return std::nullopt;
    }
    text.resize(static_cast<size_t>(copied));
    return text;
}

bool setControlText(HWND control, const std::wstring& text) {
    LRESULT done = 0;
    return control && sendTimed(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &done) && done;
}

std::optional<std::wstring> cellText(HWND dialog, int id) {
    return controlText(GetDlgItem(dialog, id));
}

bool setCellText(HWND dialog, int id, const std::wstring& text) {
    return setControlText(GetDlgItem(dialog, id), text);
}

bool pressButton(HWND dialog, int id, double* ms) {
    HWND button = GetDlgItem(dialog, id);
    if (!button) {
        return false;
    }
    const double start = nowMs();
    const bool ok = sendTimed(button, BM_CLICK, 0, 0);
    if (ms) {
        *ms = nowMs() - start;
    }
    return ok;
}

bool postButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    return button && PostMessageW(button, BM_CLICK, 0, 0);
}

HWND focusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(thread, &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

int focusedId(DWORD thread) {
    HWND focus = focusOf(thread);
    return focus ? GetDlgCtrlID(focus) : 0;
}

bool bringToFront(HWND window) {
    if (GetForegroundWindow() == window) {
        return true;
    }
    SetForegroundWindow(window);
    return waitUntil([&] { return GetForegroundWindow() == window; }, 3000);
}

// --- input --------------------------------------------------------------------------------

InputMode& inputMode() {
    static InputMode mode;
    return mode;
}

std::string describeInput() {
    const InputMode& m = inputMode();
    if (!m.probed) {
        return "input: not probed";
    }
    return std::string("input: mouse clicks ") + (m.realMouse ? "real (SendInput)" : "posted (WM_LBUTTONDOWN/UP)") +
           ", keys " + (m.realKeys ? "real (SendInput)" : "posted (WM_KEYDOWN/WM_CHAR to the control)");
}

bool clickControl(HWND control) {
    if (!control) {
        return false;
    }
    if (inputMode().realMouse) {
        // Two clicks within the double-click time make a double click, which does not
        // move the focus; a user's separate clicks are further apart.
        static double lastClickAt = -1e9;
        const double apart = GetDoubleClickTime() + 100.0;
        waitUntil([&] { return nowMs() - lastClickAt > apart; }, static_cast<DWORD>(apart) + 100);
        lastClickAt = nowMs();
        // Move and click in one go, so that the click cannot land where the pointer was.
        RECT rc{};
        GetWindowRect(control, &rc);
        const int x = (rc.left + rc.right) / 2;
        const int y = (rc.top + rc.bottom) / 2;
        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int height = GetSystemMetrics(SM_CYSCREEN);
        INPUT in[3]{};
        for (INPUT& i : in) {
            i.type = INPUT_MOUSE;
            i.mi.dx = (x * 65535 + width / 2) / (width - 1);
            i.mi.dy = (y * 65535 + height / 2) / (height - 1);
        }
        in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        return SendInput(3, in, sizeof(INPUT)) == 3;
    }
    const POINT p = clientCentre(control);
    return PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y)) &&
           PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

// One key down and up, inside a shift press when shift is set.
void appendKeyPress(std::vector<INPUT>& inputs, WORD vk, bool shift) {
    if (shift) {
        inputs.push_back(keyInput(VK_SHIFT, false));
    }
    inputs.push_back(keyInput(vk, false));
    inputs.push_back(keyInput(vk, true));
    if (shift) {
        inputs.push_back(keyInput(VK_SHIFT, true));
    }
}

bool typeText(HWND target, std::wstring_view text) {
    if (!inputMode().realKeys) {
        for (wchar_t c : text) {
            if (!PostMessageW(target, WM_CHAR, c, 1)) {
                return false;
            }
        }
        return true;
    }
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        const SHORT scan = VkKeyScanW(c);
        if (scan == -1) {
            return false;
        }
        appendKeyPress(inputs, static_cast<WORD>(scan & 0xFF), (scan & 0x100) != 0);
    }
    return sendInputs(std::move(inputs));
}

bool pressKey(HWND target, WORD vk, bool shift) {
    if (!inputMode().realKeys) {
        postKey(target, vk);  // posted keys carry no modifier state
        return true;
    }
    std::vector<INPUT> inputs;
    appendKeyPress(inputs, vk, shift);
    return sendInputs(std::move(inputs));
}

bool pressAltF4(HWND target) {
    if (!inputMode().realKeys) {
        return PostMessageW(target, WM_SYSKEYDOWN, VK_F4, keyLParam(VK_F4, false, true)) &&
               PostMessageW(target, WM_SYSKEYUP, VK_F4, keyLParam(VK_F4, true, true));
    }
    return sendInputs(
        {keyInput(VK_MENU, false), keyInput(VK_F4, false), keyInput(VK_F4, true), keyInput(VK_MENU, true)});
}

bool focusByClick(HWND control, DWORD thread) {
    if (inputMode().realMouse || inputMode().realKeys) {
        bringToFront(GetAncestor(control, GA_ROOT));  // real input goes to the foreground window
    }
    // A user clicks once more when the first click does not take; so does the driver.
    std::string missed;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (!clickControl(control)) {
            return false;
        }
        if (waitUntil([&] { return focusOf(thread) == control; }, 1500)) {
            if (!missed.empty()) {
                std::printf("note: control %d took the focus at click %d; before, the focus was on%s\n",
                            GetDlgCtrlID(control), attempt, missed.c_str());
            }
            return true;
        }
        missed += " " + std::to_string(focusedId(thread));
    }
    return false;
}

std::string retypeCell(HWND dialog, int id, std::wstring_view text, DWORD thread) {
    HWND cell = GetDlgItem(dialog, id);
    if (!cell) {
        return "no such cell";
    }
    if (!focusByClick(cell, thread)) {
        return "clicking did not give it the focus (focus on " + std::to_string(focusedId(thread)) + ")";
    }
    if (inputMode().realKeys) {
        // Select the whole line the way a user does, then type over it.
        if (!pressKey(cell, VK_HOME) || !pressKey(cell, VK_END, true)) {
            return "SendInput refused Home or Shift+End";
        }
    } else {
        PostMessageW(cell, EM_SETSEL, 0, -1);
    }
    if (!typeText(cell, text)) {
        return "the text could not be typed";
    }
    if (!waitUntil([&] { return controlText(cell) == std::wstring(text); }, 3000)) {
        return "the cell shows '" + narrow(controlText(cell).value_or(L"?")) + "' (focus on " +
               std::to_string(focusedId(thread)) + ")";
    }
    return {};
}

// --- pixels ---------------------------------------------------------------------------------

std::uint32_t toPixel(COLORREF colour) {
    const std::uint32_t red = GetRValue(colour);
    const std::uint32_t green = GetGValue(colour);
    const std::uint32_t blue = GetBValue(colour);
    return (red << 16) | (green << 8) | blue;
}

std::optional<Pixels> captureClient(HWND window) {
    RECT rc{};
    if (!GetClientRect(window, &rc) || rc.right <= 0 || rc.bottom <= 0) {
        return std::nullopt;
    }
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    Pixels pixels;
    pixels.width = rc.right;
    pixels.height = rc.bottom;
    pixels.data.assign(static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height), 0);

    bool ok = false;
    HDC screen = GetDC(nullptr);
    if (screen) {
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, pixels.width, pixels.height);
        if (memory && bitmap) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            if (BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, origin.x, origin.y, SRCCOPY)) {
                SelectObject(memory, previous);
                BITMAPINFO info{};
                info.bmiHeader.biSize = sizeof info.bmiHeader;
                info.bmiHeader.biWidth = pixels.width;
                info.bmiHeader.biHeight = -pixels.height;  // top-down rows
                info.bmiHeader.biPlanes = 1;
                info.bmiHeader.biBitCount = 32;
                info.bmiHeader.biCompression = BI_RGB;
                ok = GetDIBits(memory, bitmap, 0, static_cast<UINT>(pixels.height), pixels.data.data(), &info,
                               DIB_RGB_COLORS) == pixels.height;
            } else {
                SelectObject(memory, previous);
            }
        }
        if (bitmap) {
            DeleteObject(bitmap);
        }
        if (memory) {
            DeleteDC(memory);
        }
        ReleaseDC(nullptr, screen);
    }
    if (!ok) {
        return std::nullopt;
    }
    for (std::uint32_t& p : pixels.data) {
        p &= 0x00FFFFFF;
    }
    return pixels;
}

bool saveBitmap(const Pixels& pixels, const std::wstring& path) {
    const auto imageBytes = static_cast<DWORD>(pixels.data.size() * 4);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = pixels.width;
    info.biHeight = -pixels.height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(reinterpret_cast<const char*>(pixels.data.data()), imageBytes);
    return writeBytes(path, bytes);
}

InkBox inkBounds(const Pixels& pixels, std::uint32_t background) {
    InkBox box;
    for (int y = 0; y < pixels.height; ++y) {
        for (int x = 0; x < pixels.width; ++x) {
            if (pixels.at(x, y) == background) {
                continue;
            }
            if (!box.any) {
                box = InkBox{true, x, y, x + 1, y + 1};
                continue;
            }
            box.left = x < box.left ? x : box.left;
            box.right = x + 1 > box.right ? x + 1 : box.right;
            box.bottom = y + 1;
        }
    }
    return box;
}

std::optional<CellSize> helpFontCell() {
    HDC screen = GetDC(nullptr);
    if (!screen) {
        return std::nullopt;
    }
    // The height in pixels is 8 points at the screen's resolution, ties to even.
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    int pixels = dpi * 8 / 72;
    const int twiceRemainder = 2 * (dpi * 8 % 72);
    if (twiceRemainder > 72 || (twiceRemainder == 72 && pixels % 2 == 1)) {
        ++pixels;
    }
    LOGFONTW font{};
    font.lfHeight = -pixels;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    wcscpy(font.lfFaceName, L"MS Sans Serif");
    std::optional<CellSize> cell;
    if (HFONT handle = CreateFontIndirectW(&font)) {
        HGDIOBJ previous = SelectObject(screen, handle);
        TEXTMETRICW metrics{};
        if (GetTextMetricsW(screen, &metrics)) {
            cell = CellSize{metrics.tmAveCharWidth, metrics.tmHeight + metrics.tmExternalLeading};
        }
        SelectObject(screen, previous);
        DeleteObject(handle);
    }
    ReleaseDC(nullptr, screen);
    return cell;
}

// --- a window of the driver's own -------------------------------------------------------------

OtherWindow::OtherWindow() {
    static const ATOM atom = [] {
        WNDCLASSW cls{};
        cls.lpfnWndProc = otherWindowProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        cls.lpszClassName = L"RoiE2eOtherWindow";
        return RegisterClassW(&cls);
    }();
    if (atom) {
        // Far from the calculator, so that it covers none of its controls.
        hwnd_ = CreateWindowExW(0, L"RoiE2eOtherWindow", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 960, 760,
                                240, 140, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    pumpOwnMessages();
}

OtherWindow::~OtherWindow() {
    if (hwnd_) {
        DestroyWindow(hwnd_);
        pumpOwnMessages();
    }
}

// --- bookkeeping -------------------------------------------------------------------------------

Measurements& measurements() {
    static Measurements m;
    return m;
}

void probeInput(HWND cell, DWORD thread) {
    InputMode& mode = inputMode();
    if (mode.probed || !cell) {
        return;
    }
    mode.probed = true;
    // ROI_E2E_INPUT=posted skips the probe, to exercise the fallback on any display.
    char forced[16] = "";
    if (GetEnvironmentVariableA("ROI_E2E_INPUT", forced, sizeof forced) > 0 && std::string(forced) == "posted") {
        std::printf("%s (forced by ROI_E2E_INPUT)\n", describeInput().c_str());
        return;
    }
    bringToFront(GetAncestor(cell, GA_ROOT));
    const auto focused = [&] { return focusOf(thread) == cell; };
    mode.realMouse = true;
    if (!clickControl(cell) || !waitUntil(focused, 2000)) {
        mode.realMouse = false;
        clickControl(cell);
        waitUntil(focused, 2000);
    }
    if (focused()) {
        setControlText(cell, L"");
        mode.realKeys = true;
        if (!typeText(cell, L"7") || !waitUntil([&] { return controlText(cell) == std::wstring(L"7"); }, 2000)) {
            mode.realKeys = false;
        }
        setControlText(cell, L"");
    }
    std::printf("%s\n", describeInput().c_str());
    std::fflush(stdout);
}

}  // namespace roi_test::e2e
