// Drives roicalc.exe from the outside, the way a user does: starts it in a directory,
// finds its windows, reads and writes its cells, clicks, types and closes. Every wait
// here is bounded; a caller that gets "nothing" back after a timeout fails its scenario.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_dir.h"

namespace roi_test::e2e {

// Longest wait for one window to appear, go away or show a value.
inline constexpr DWORD WAIT_MS = 15000;
// Longest wait for a message sent to the program to be answered.
inline constexpr DWORD SEND_MS = 10000;

// Texts the program shows, exactly as it shows them.
std::wstring mainCaption();
std::wstring helpCaption();
inline constexpr wchar_t BOX_TITLE[] = L"Kestrelvox";
inline constexpr wchar_t NOTICE_TEXT[] = L"bankoll.roi NOT FOUND - CREATING NEW BANKROLL FILE";
inline constexpr wchar_t SAVE_WARNING_TEXT[] = L"bankroll.roi COULD NOT BE SAVED - YOUR BANKROLL WAS NOT STORED";
inline constexpr wchar_t READ_WARNING_TEXT[] = L"bankroll.roi COULD NOT BE READ - YOUR BANKROLL WAS NOT LOADED";
inline constexpr wchar_t IN_USE_TEXT[] =
    L"bankroll.roi IS IN USE BY ANOTHER ROI CALCULATOR - YOUR BANKROLL WILL NOT BE SAVED";
inline constexpr wchar_t HISTORY_WARNING_TEXT[] =
    L"bankroll-history.csv COULD NOT BE WRITTEN - YOUR BANKROLL WAS SAVED";
inline constexpr wchar_t HELP_CLASS[] = L"STAVEGRAPH";

// The program under test, as a Windows path.
void setProgramPath(const std::wstring& path);
const std::wstring& programPath();
// A path as given on the command line (a Unix path under Wine too) in Windows form.
std::wstring toWindowsPath(const std::string& path);

// Every running child is known here, so that the watchdog can end them all.
void killAllChildren();
// Ends every child and the driver after limitSeconds, whatever the driver is doing.
void startWatchdog(unsigned limitSeconds);

// Numbers printed at the end of the run; none of them is asserted.
struct Measurements {
    std::vector<double> startupMs;    // CreateProcessW until the main window is shown (no notice)
    std::vector<double> calculateMs;  // CALCULATE's BM_CLICK sent until it returned (save and re-read included)
    std::optional<double> idleCpuPercent;
    std::string idleNote;
};
Measurements& measurements();

// Milliseconds on a monotonic clock.
double nowMs();

// Runs the driver's own message queue while it waits, so that windows the driver
// owns stay responsive; returns true once ready() holds, false after timeoutMs.
template <class Ready>
bool waitUntil(Ready ready, DWORD timeoutMs = WAIT_MS);
void pumpOwnMessages();

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readBytes(const std::wstring& path);
// "22 30 22 0D 0A" for failure messages.
std::string hexBytes(std::string_view bytes);

// One run of the program: started with CreateProcessW in a working directory and
// terminated on destruction if it is still running.
class App {
public:
    explicit App(std::wstring workingDir);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool start();
    DWORD pid() const { return info_.dwProcessId; }
    DWORD mainThread() const { return info_.dwThreadId; }
    HANDLE process() const { return info_.hProcess; }
    double startedAtMs() const { return startedAt_; }
    bool running() const;
    // The exit code once the process has ended within timeoutMs.
    std::optional<DWORD> waitForExit(DWORD timeoutMs = WAIT_MS);
    void kill();
    // User plus kernel time the process has used so far, in milliseconds.
    std::optional<double> cpuMs() const;

private:
    std::wstring dir_;
    PROCESS_INFORMATION info_{};
    double startedAt_ = 0;
};

// Top-level windows of one process.
struct TopWindow {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring title;
    bool visible = false;
};
std::vector<TopWindow> topWindowsOf(DWORD pid);
std::wstring classNameOf(HWND window);
std::wstring captionOf(HWND window);

// The main window (visible only, or also while still hidden), or none.
HWND findMainWindow(DWORD pid, bool visibleOnly = true);
// A message box of the program titled "Kestrelvox" whose text is text, or none.
HWND findMessageBox(DWORD pid, std::wstring_view text);
// Any "Kestrelvox" box of the program, whatever its text.
HWND findAnyMessageBox(DWORD pid);
// The visible help windows of the program.
std::vector<HWND> helpWindowsOf(DWORD pid);
// What a process holds of the window system, for leak checks. GetGuiResources is a
// stub under Wine (it counts 0), so the windows are counted too, and on the 64-bit
// build the GDI objects are also counted in the process's own GDI handle table.
struct GuiCounts {
    DWORD gdiObjects = 0;   // GetGuiResources
    DWORD userObjects = 0;  // GetGuiResources
    int windows = 0;        // its top-level windows and all their descendants
    int gdiTable = -1;      // entries of its GDI handle table; -1 where it cannot be read
};
GuiCounts guiCountsOf(HANDLE process, DWORD pid);
std::string describe(const GuiCounts& counts);

// "class 'x' title 'y' (hidden)" for every top-level window: for failure messages.
std::string describeWindows(DWORD pid);

struct BoxContent {
    std::vector<std::wstring> texts;    // the static texts (the message)
    std::vector<std::wstring> buttons;  // the captions of its buttons
};
BoxContent readMessageBox(HWND box);
// Presses the box's OK button; true when the box has gone within the wait.
bool dismissMessageBox(HWND box);

// Messages to the program, each answered within SEND_MS or reported as failed.
bool sendTimed(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr);
std::optional<std::wstring> controlText(HWND control);
bool setControlText(HWND control, const std::wstring& text);
std::optional<std::wstring> cellText(HWND dialog, int id);
bool setCellText(HWND dialog, int id, const std::wstring& text);
// BM_CLICK sent: returns once the program's handler has finished (elapsed time in *ms).
bool pressButton(HWND dialog, int id, double* ms = nullptr);
// BM_CLICK posted: for commands that open a window and wait for it.
bool postButton(HWND dialog, int id);

// The window with the keyboard focus in the given thread, and its control id.
HWND focusOf(DWORD thread);
int focusedId(DWORD thread);
bool bringToFront(HWND window);

// How input reaches the program. Real input (SendInput) is preferred; where the
// display refuses it the driver posts the messages that input would produce.
struct InputMode {
    bool probed = false;
    bool realMouse = false;
    bool realKeys = false;
};
InputMode& inputMode();
std::string describeInput();
// Decides the input mode once: clicks cell (an input cell without the focus) and types
// into it with real input, falling back to posted messages for what does not arrive.
void probeInput(HWND cell, DWORD thread);

// Gives a control the focus by clicking it.
bool clickControl(HWND control);
// Types text into the control that has the focus (posted mode: into target).
bool typeText(HWND target, std::wstring_view text);
// One key with optional modifiers to the focus (posted mode: to target).
bool pressKey(HWND target, WORD vk, bool shift = false);
bool pressAltF4(HWND target);
// Clicks a control until it has the focus of thread (three clicks at most).
bool focusByClick(HWND control, DWORD thread);
// Replaces a cell's text by keyboard: click, select the line, type over it. Returns
// what went wrong, or the empty text.
std::string retypeCell(HWND dialog, int id, std::wstring_view text, DWORD thread);

// A screen grab of a window's client area, as 0x00RRGGBB pixels.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;
    std::uint32_t at(int x, int y) const {
        return data[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};
std::optional<Pixels> captureClient(HWND window);
std::uint32_t toPixel(COLORREF colour);
// Writes a grab as a 32-bit .bmp file, to look at when a check on it fails.
bool saveBitmap(const Pixels& pixels, const std::wstring& path);

// The bounding box of every pixel that differs from background.
struct InkBox {
    bool any = false;
    int left = 0;
    int top = 0;
    int right = 0;   // exclusive
    int bottom = 0;  // exclusive
};
InkBox inkBounds(const Pixels& pixels, std::uint32_t background);

// The character cell of the help window's font (8-point "MS Sans Serif" on the
// screen): average character width, and height plus external leading.
struct CellSize {
    int width = 0;
    int height = 0;
};
std::optional<CellSize> helpFontCell();

// A top-level window of the driver's own, to take the activation away from the program.
class OtherWindow {
public:
    OtherWindow();
    ~OtherWindow();
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

template <class Ready>
bool waitUntil(Ready ready, DWORD timeoutMs) {
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        if (ready()) {
            return true;
        }
        if (nowMs() > deadline) {
            return false;
        }
        pumpOwnMessages();
        Sleep(5);
    }
}

}  // namespace roi_test::e2e
