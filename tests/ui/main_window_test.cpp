// MainDialog under Wine: the window builder's result (controls, fonts, tab order),
// the bankroll loading, the four commands through the event handler, the focus
// keeping, one whole modal run, and the program's resources (this test carries them).
// Every test runs in a private temporary current directory; a watcher thread
// answers the message boxes and help windows the main thread opens.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/runtime.h"
#include "tests/support/program_environment.h"
#include "tests/support/temp_dir.h"
#include "core/session.h"
#include "storage/text_file.h"
#include "ui/dialog_engine.h"
#include "ui/help_screen.h"
#include "ui/main_window.h"
#include "ui/font_table.h"
#include "roicalc_version.h"

namespace roi {
namespace {

using namespace std::chrono_literals;

const std::string CAPTION = "Quillmarsh ROI CALCULATOR" + std::string(64, ' ') + "www.quillmarsh.example";
const char NOTICE[] = "bankoll.roi NOT FOUND - CREATING NEW BANKROLL FILE";
const char WARNING[] = "bankroll.roi COULD NOT BE SAVED - YOUR BANKROLL WAS NOT STORED";
const char NOT_READ[] = "bankroll.roi COULD NOT BE READ - YOUR BANKROLL WAS NOT LOADED";
const char ZERO_FILE[] = "\"0\"\r\n\"0\"\r\n";
const wchar_t FILE_NAME[] = L"bankroll.roi";
const char MASKED_ZERO[] = "$        0.00";

// Every cell a test looks at, in id order.
constexpr int CELLS[] = {1001, 1002, 1003, 1004, 1011, 1015, 1018, 1024, 1025};

using roi_test::narrow;
using roi_test::widen;

// Text of any window of this process; bounded, since the owner may be busy.
std::string windowText(HWND window) {
    wchar_t buffer[4096] = {};  // the help page's text too
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 2000, &copied) ==
        0) {
        return "<no answer>";
    }
    return narrow(buffer);
}

HFONT fontOf(HWND window) {
    return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

std::string classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return narrow(name);
}

struct MainDialogSearch {
    std::wstring caption = widen(CAPTION);
    HWND found = nullptr;
};

BOOL CALLBACK matchMainDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<MainDialogSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t text[256] = {};
    if (process == GetCurrentProcessId() && InternalGetWindowText(window, text, 256) > 0 && search->caption == text) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Sets *found when a visible top-level window belongs to another process.
BOOL CALLBACK markOtherProcessWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    *reinterpret_cast<bool*>(found) |= process != GetCurrentProcessId() && IsWindowVisible(window);
    return TRUE;
}

// This process's MainDialog, shown or hidden. Other Wine programs share the desktop
// (and may run the calculator right now), so FindWindowW alone is not enough.
HWND findMainDialog() {
    MainDialogSearch search;
    EnumWindows(matchMainDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void writeFile(const std::string& bytes) {
    HANDLE file = CreateFileW(FILE_NAME, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

// The file's bytes, or nothing when it cannot be opened (missing, a directory).
std::optional<std::string> readFile() {
    HANDLE file = CreateFileW(FILE_NAME, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return bytes;
}

// A fresh directory that is the current directory for the object's life.
class TempDirectory {
public:
    TempDirectory() {
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        previous_ = previous;
        ok_ = directory_.created() && SetCurrentDirectoryW(directory_.wide().c_str()) != 0;
    }
    ~TempDirectory() { SetCurrentDirectoryW(previous_.c_str()); }
    bool ok() const { return ok_; }

private:
    roi_test::TempDir directory_;  // removed after the old directory is current again
    std::wstring previous_;
    bool ok_ = false;
};

// What the watcher saw of one message box.
struct SeenBox {
    std::string title;
    std::string text;
    std::vector<std::string> buttons;  // visible buttons
    bool fileExisted = false;          // bankroll.roi existed when the box was up
    bool mainFound = false;
    bool mainVisible = false;
    std::map<int, std::string> cells;  // MainDialog's cells when the box was up
};

// A "Kestrelvox" box saying text, with one OK button.
void expectBox(const SeenBox& box, const std::string& text) {
    EXPECT_EQ(box.title, "Kestrelvox");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
}

// Answers "Kestrelvox" message boxes with OK and closes help windows, recording what
// it saw, until finish(). The main thread sits in the box's own loop meanwhile.
class Watcher {
public:
    Watcher() : thread_([this] { run(); }) {}
    ~Watcher() { finish(); }

    std::vector<SeenBox> finish() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        std::lock_guard<std::mutex> guard(mutex_);
        return boxes_;
    }
    int helpWindows() {
        std::lock_guard<std::mutex> guard(mutex_);
        return helpWindows_;
    }
    // The window text of each help window's surface, once it had one.
    std::vector<std::string> helpTexts() {
        std::lock_guard<std::mutex> guard(mutex_);
        return helpTexts_;
    }

private:
    static BOOL CALLBACK collect(HWND window, LPARAM list) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window)) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        }
        return TRUE;
    }
    static BOOL CALLBACK collectChild(HWND window, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    }

    SeenBox describe(HWND box) {
        SeenBox seen;
        seen.title = windowText(box);
        std::vector<HWND> children;
        EnumChildWindows(box, collectChild, reinterpret_cast<LPARAM>(&children));
        for (HWND child : children) {
            const std::string text = windowText(child);
            const bool visible = (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
            if (lstrcmpiW(widen(classOf(child)).c_str(), L"Button") == 0 && visible) {
                seen.buttons.push_back(text);
            } else if (lstrcmpiW(widen(classOf(child)).c_str(), L"Static") == 0 && !text.empty()) {
                seen.text += text;
            }
        }
        seen.fileExisted = GetFileAttributesW(FILE_NAME) != INVALID_FILE_ATTRIBUTES;
        if (HWND main = findMainDialog()) {
            seen.mainFound = true;
            seen.mainVisible = IsWindowVisible(main) != 0;
            for (const int id : CELLS) {
                seen.cells[id] = windowText(GetDlgItem(main, id));
            }
        }
        return seen;
    }

    // The surface's text, waited for: the help command sets it once the page is printed.
    static std::string surfaceText(HWND surface) {
        std::string text;
        for (int tries = 0; tries < 200 && (text = windowText(surface)).empty(); ++tries) {
            std::this_thread::sleep_for(10ms);
        }
        return text;
    }

    void run() {
        while (!stop_) {
            std::vector<HWND> windows;
            EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
            for (HWND window : windows) {
                if (handled_.count(window) != 0) {
                    continue;
                }
                const std::string cls = classOf(window);
                if (cls == "#32770" && windowText(window) == "Kestrelvox") {
                    handled_.insert(window);
                    SeenBox seen = describe(window);
                    {
                        std::lock_guard<std::mutex> guard(mutex_);
                        boxes_.push_back(std::move(seen));
                    }
                    PostMessageW(window, WM_COMMAND, IDOK, 0);
                } else if (cls == "STAVEGRAPH") {
                    handled_.insert(window);
                    const std::string text = surfaceText(GetDlgItem(window, 0));
                    {
                        std::lock_guard<std::mutex> guard(mutex_);
                        ++helpWindows_;
                        helpTexts_.push_back(text);
                    }
                    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);  // its close box
                }
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> boxes_;
    int helpWindows_ = 0;
    std::vector<std::string> helpTexts_;
    std::set<HWND> handled_;
    std::thread thread_;
};

// The state the program starts with, and a watchdog so no wait can hang the run.
[[maybe_unused]] const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new roi_test::ProgramEnvironment("main_window_test", 300s));

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        directory_ = std::make_unique<TempDirectory>();
        ASSERT_TRUE(directory_->ok());
        ASSERT_EQ(findMainDialog(), nullptr) << "a MainDialog of an earlier test is still there";
        session() = SessionValues{};
    }
    void TearDown() override {
        if (window_.dialog != nullptr && IsWindow(window_.dialog)) {
            DestroyWindow(window_.dialog);
        }
        if (window_.cellFont != 0) {
            releaseFont(window_.cellFont);
        }
        window_ = MainWindow{};
        releaseClaim();  // its file would keep the folder from being removed
        directory_.reset();
    }

    // The builder's steps before the modal run; returns the boxes it showed.
    std::vector<SeenBox> build() {
        Watcher watcher;
        window_ = buildMainWindow(nullptr);
        return watcher.finish();
    }
    void buildWith(const std::string& fileBytes) {
        writeFile(fileBytes);
        const std::vector<SeenBox> boxes = build();
        ASSERT_NE(window_.dialog, nullptr);
        ASSERT_TRUE(boxes.empty()) << boxes.front().text;
    }

    struct Press {
        INT_PTR result = 0;
        std::vector<SeenBox> boxes;
        int helpWindows = 0;
        std::vector<std::string> helpTexts;
    };
    Press press(int id, int code = BN_CLICKED) {
        Watcher watcher;
        Press p;
        p.result = mainDialogHandler(window_.dialog, WM_COMMAND, MAKEWPARAM(id, code),
                                     reinterpret_cast<LPARAM>(GetDlgItem(window_.dialog, id)));
        p.helpWindows = watcher.helpWindows();
        p.helpTexts = watcher.helpTexts();
        p.boxes = watcher.finish();
        return p;
    }

    HWND item(int id) const { return GetDlgItem(window_.dialog, id); }
    std::string cell(int id) const { return windowText(item(id)); }
    void type(int id, const std::string& text) { SetWindowTextW(item(id), widen(text).c_str()); }
    // The session of the examples: won 150, bet 100, 10 bets made, 3 won.
    void typeSession() {
        type(1001, "150");
        type(1002, "100");
        type(1003, "10");
        type(1004, "3");
    }
    std::map<int, std::string> cells() const {
        std::map<int, std::string> all;
        for (const int id : CELLS) {
            all[id] = cell(id);
        }
        return all;
    }

    std::unique_ptr<TempDirectory> directory_;
    MainWindow window_;
};

// ---------------------------------------------------------------------------------
// The window builder

// One row per control, in creation order; styles as the window ends up with them
// (style 0 takes the kind's default; the badges gain SS_BITMAP).
enum class Font { Cell, Dialog, None };

struct ControlRow {
    int id;
    const char* cls;
    const char* text;
    int x, y, width, height;
    DWORD style;
    DWORD extendedStyle;
    Font font;
};
constexpr DWORD CELL_IN = 0x50010081, CELL_OUT = 0x50000081, PUSH = 0x50010000, LABEL = 0x50000000, GROUP = 0x50000007,
                BADGE = 0x5000002E;
const ControlRow CONTROL_ROWS[] = {
    {1005, "Static", "TOTAL AMOUNT WON", 30, 30, 80, 15, LABEL, 0, Font::Dialog},  // each cell just after its label
    {1001, "Edit", "", 42, 45, 46, 12, CELL_IN, 0x200, Font::Cell},
    {1006, "Static", "TOTAL AMOUNT BET", 120, 30, 80, 15, LABEL, 0, Font::Dialog},
    {1002, "Edit", "", 132, 45, 46, 12, CELL_IN, 0x200, Font::Cell},
    {1007, "Static", "NUMBER OF BETS MADE", 205, 30, 90, 15, LABEL, 0, Font::Dialog},
    {1003, "Edit", "", 225, 45, 40, 12, CELL_IN, 0x200, Font::Cell},
    {1008, "Static", "NUMBER OF BETS WON", 298, 30, 90, 15, LABEL, 0, Font::Dialog},
    {1004, "Edit", "", 315, 45, 40, 12, CELL_IN, 0x200, Font::Cell},
    {1009, "Button", "CALCULATE", 125, 85, 50, 30, PUSH, 0, Font::Dialog},
    {1021, "Button", "?", 190, 95, 15, 15, PUSH, 0, Font::Dialog},
    {1010, "Button", "CLEAR ALL", 220, 85, 50, 30, PUSH, 0, Font::Dialog},
    {1026, "Button", "CLEAR BANKROLLS", 155, 183, 80, 15, PUSH, 0, Font::Dialog},
    {1014, "Static", "ROI", 105, 140, 35, 15, LABEL, 0, Font::Dialog},
    {1011, "Edit", "", 90, 155, 40, 12, CELL_OUT, 0x200, Font::Cell},
    {1016, "Static", "WIN%", 190, 140, 35, 15, LABEL, 0, Font::Dialog},
    {1015, "Edit", "", 178, 155, 40, 12, CELL_OUT, 0x200, Font::Cell},
    {1017, "Static", "AVERAGE MUTUEL", 254, 140, 70, 15, LABEL, 0, Font::Dialog},
    {1018, "Edit", "", 266, 155, 43, 12, CELL_OUT, 0x200, Font::Cell},
    {1016, "Static", "", 310, 4, 0, 0, BADGE, 0, Font::None},                        // badge 456: sized by its bitmap
    {1016, "Static", "", 20, 2, 0, 0, BADGE, 0, Font::None},                         // badge 123
    {1022, "Static", "STARTING BANKROLL ", 15, 80, 95, 15, LABEL, 0, Font::Dialog},  // trailing blank kept
    {1024, "Edit", "", 17, 95, 70, 12, CELL_OUT, 0x200, Font::Cell},                 // typed into, yet no tab stop
    {1022, "Static", "ENDING BANKROLL ", 307, 80, 90, 15, LABEL, 0, Font::Dialog},
    {1025, "Edit", "", 305, 95, 70, 12, CELL_OUT, 0x200, Font::Cell},
    {1019, "Button", "INPUT", 20, 15, 373, 55, GROUP, 0, Font::Dialog},  // group boxes last, after what they frame
    {1020, "Button", "OUTPUT", 70, 125, 260, 55, GROUP, 0, Font::Dialog},
};

TEST_F(MainWindowTest, BuildsTheControlsInOrderWithTheirIdsTextsStylesPlacesAndFonts) {
    buildWith(ZERO_FILE);
    std::vector<HWND> children;
    for (HWND child = GetWindow(window_.dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    ASSERT_EQ(children.size(), std::size(CONTROL_ROWS));
    const HFONT cellFont = fontOf(item(1001));
    const HFONT dialogFont = fontOf(window_.dialog);
    ASSERT_NE(cellFont, nullptr);
    ASSERT_NE(cellFont, dialogFont);
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ControlRow& row = CONTROL_ROWS[i];
        HWND child = children[i];
        SCOPED_TRACE(testing::Message() << "control " << i + 1 << " (" << row.id << " \"" << row.text << "\")");
        EXPECT_EQ(GetDlgCtrlID(child), row.id);
        EXPECT_EQ(lstrcmpiW(widen(classOf(child)).c_str(), widen(row.cls).c_str()), 0) << classOf(child);
        // The bankroll cells already show the loaded values; every other text is as built.
        if (row.id != 1024 && row.id != 1025) {
            EXPECT_EQ(windowText(child), row.text);
        }
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)), row.style);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_EXSTYLE)), row.extendedStyle);
        RECT expected = {row.x, row.y, row.x + row.width, row.y + row.height};
        MapDialogRect(window_.dialog, &expected);
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(HWND_DESKTOP, window_.dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        if (row.width != 0) {
            EXPECT_EQ(actual.right, expected.right);
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
        switch (row.font) {
        case Font::Cell:
            EXPECT_EQ(fontOf(child), cellFont);
            break;
        case Font::Dialog:  // labels, buttons and group boxes keep the dialog font
            EXPECT_EQ(fontOf(child), dialogFont);
            break;
        case Font::None:  // an image shows no text; it only must not carry the cell font
            EXPECT_NE(fontOf(child), cellFont);
            break;
        }
        // A screen reader names a cell after the static text just before it: its label.
        if (row.font == Font::Cell) {
            HWND before = GetWindow(child, GW_HWNDPREV);
            EXPECT_EQ(lstrcmpiW(widen(classOf(before)).c_str(), L"Static"), 0) << classOf(before);
            EXPECT_EQ(windowText(before), CONTROL_ROWS[i - 1].text);
        }
    }
}

TEST_F(MainWindowTest, BuildsAHiddenResizableDialogWithTheCaptionAndClientSize) {
    buildWith(ZERO_FILE);
    HWND dialog = window_.dialog;
    EXPECT_EQ(windowText(dialog), CAPTION);
    EXPECT_EQ(classOf(dialog), "#32770");
    EXPECT_EQ(findMainDialog(), dialog);
    EXPECT_FALSE(IsWindowVisible(dialog));  // shown only by the modal run
    EXPECT_EQ(GetParent(dialog), nullptr);
    const DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
    const DWORD expectedOn = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
    EXPECT_EQ(style & expectedOn, expectedOn);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_CHILD), 0u);
    EXPECT_NE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
    // The program's icon for Alt+Tab and the taskbar, at the sizes the system asks for.
    const std::pair<WPARAM, int> icons[] = {
        {ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}, {ICON_SMALL2, SM_CXSMICON}};
    for (const auto& [type, metric] : icons) {
        SCOPED_TRACE(type);
        const auto icon = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, type, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour = {};
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, GetSystemMetrics(metric));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    RECT size = {0, 0, 413, 200};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    // (55, 70) dialog units from the screen's corner, whether Windows places the frame or the client there.
    RECT place = {55, 70, 0, 0};
    MapDialogRect(dialog, &place);
    RECT frame;
    GetWindowRect(dialog, &frame);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    EXPECT_LE(frame.left, place.left);
    EXPECT_GE(origin.x, place.left);
    EXPECT_LE(frame.top, place.top);
    EXPECT_GE(origin.y, place.top);

    // A larger frame moves no control.
    RECT before;
    GetWindowRect(item(1025), &before);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&before), 2);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 100,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(dialog, &client);
    EXPECT_GT(client.right, size.right);
    RECT after;
    GetWindowRect(item(1025), &after);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&after), 2);
    EXPECT_TRUE(EqualRect(&before, &after));
}

TEST_F(MainWindowTest, CellFontIsTenPointBoldMsSansSerif) {
    buildWith(ZERO_FILE);
    LOGFONTW font = {};
    ASSERT_NE(GetObjectW(fontOf(item(1001)), sizeof font, &font), 0);
    HDC dc = GetDC(window_.dialog);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window_.dialog, dc);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Sans Serif");
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(font.lfHeight, -static_cast<LONG>(std::lround(dpi * 10 / 72.0)));  // 10 points
    EXPECT_EQ(font.lfItalic + font.lfUnderline + font.lfStrikeOut, 0);
    EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
}

TEST_F(MainWindowTest, TabVisitsTheInputCellsAndButtonsOnly) {
    buildWith(ZERO_FILE);
    // From TOTAL AMOUNT WON round to it again; output and bankroll cells are never visited.
    const int expected[] = {1002, 1003, 1004, 1009, 1021, 1010, 1026, 1001};
    HWND at = item(1001);
    for (const int id : expected) {
        at = GetNextDlgTabItem(window_.dialog, at, FALSE);
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(GetDlgCtrlID(at), id);
    }
    // Shift+Tab goes the other way.
    EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(window_.dialog, item(1001), TRUE)), 1026);
}

// ---------------------------------------------------------------------------------
// Loading the bankroll at start-up

TEST_F(MainWindowTest, LoadsTheBankrollIntoTheSessionAndTheTwoCells) {
    struct Case {
        const char* name;
        std::optional<std::string> file;  // nothing: no bankroll.roi
        std::string start, end;           // session texts afterwards
        std::string startCell, endCell;
    };
    const Case cases[] = {
        {"present", std::string("\"1000\"\r\n\"1050.5\"\r\n"), "1000", "1050.5", "$    1,000.00", "$    1,050.50"},
        {"zero file", std::string(ZERO_FILE), "0", "0", MASKED_ZERO, MASKED_ZERO},
        {"empty file is present", std::string(), "", "", MASKED_ZERO, MASKED_ZERO},  // no notice, no values
        {"one value", std::string("\"500\"\r\n"), "500", "", "$      500.00", MASKED_ZERO},
        {"empty first, negative second", std::string("\"\"\r\n\"-25\"\r\n"), "", "-25", MASKED_ZERO, "$      -25.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        writeFile(*c.file);
        const std::vector<SeenBox> boxes = build();
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(session().bankrollFileName, "bankroll.roi");
        EXPECT_EQ(session().startingBankrollText, c.start);
        EXPECT_EQ(session().endingBankrollText, c.end);
        EXPECT_EQ(cell(1024), c.startCell);
        EXPECT_EQ(cell(1025), c.endCell);
        EXPECT_EQ(readFile(), *c.file);  // loading never writes a present file
        for (const int id : {1001, 1002, 1003, 1004, 1011, 1015, 1018}) {
            EXPECT_EQ(cell(id), "") << id;
        }
    }
}

TEST_F(MainWindowTest, MissingFileIsAnnouncedWhileTheWindowIsHiddenThenCreated) {
    const std::vector<SeenBox> boxes = build();
    ASSERT_EQ(boxes.size(), 1u);
    const SeenBox& notice = boxes[0];
    expectBox(notice, NOTICE);
    EXPECT_FALSE(notice.fileExisted);  // the notice comes before the file
    EXPECT_TRUE(notice.mainFound);
    EXPECT_FALSE(notice.mainVisible);
    EXPECT_EQ(readFile(), std::string(ZERO_FILE));
    EXPECT_EQ(session().startingBankrollText, "0");
    EXPECT_EQ(session().endingBankrollText, "0");
    EXPECT_EQ(cell(1024), MASKED_ZERO);
    EXPECT_EQ(cell(1025), MASKED_ZERO);
}

TEST_F(MainWindowTest, DirectoryNamedLikeTheFileCountsAsPresentAndEverySaveWarns) {
    ASSERT_TRUE(CreateDirectoryW(FILE_NAME, nullptr));
    const std::vector<SeenBox> boxes = build();
    // Present: no notice, nothing written; but it cannot be read, and the user is told.
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, NOT_READ);
    EXPECT_EQ(session().startingBankrollText, "");
    EXPECT_EQ(session().endingBankrollText, "");
    EXPECT_EQ(cell(1024), MASKED_ZERO);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const Press p = press(1009);
        ASSERT_EQ(p.boxes.size(), 1u);
        EXPECT_EQ(p.boxes[0].text, WARNING);
    }
    EXPECT_NE(GetFileAttributesW(FILE_NAME) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

// An existing file that start-up cannot read is never written in that run, not even
// once it could be; the next start that reads it shows the bankroll it kept.
TEST_F(MainWindowTest, UnreadableFileAtStartIsNeverOverwritten) {
    struct Case {
        const char* name;
        int command;
        bool releaseBeforeCommand;  // the holder lets go after start-up, before the command
        int shownCell;              // a cell the command's other steps fill
        const char* shown;
    };
    const Case cases[] = {
        {"calculate while it is held", 1009, false, 1025, "$       50.00"},
        {"calculate after it was let go", 1009, true, 1018, "$   50.00"},
        {"clear bankrolls after it was let go", 1026, true, 1025, "0"},
    };
    const std::string kept = "\"100\"\r\n\"200\"\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        writeFile(kept);
        HANDLE holder = CreateFileW(FILE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        const std::vector<SeenBox> boxes = build();
        ASSERT_NE(window_.dialog, nullptr);
        ASSERT_EQ(boxes.size(), 1u);
        expectBox(boxes[0], NOT_READ);
        EXPECT_FALSE(boxes[0].mainVisible);
        // The warning follows the cells, which show the neutral values the read gave.
        EXPECT_EQ(boxes[0].cells.at(1024), MASKED_ZERO);
        EXPECT_EQ(boxes[0].cells.at(1025), MASKED_ZERO);

        if (c.releaseBeforeCommand) {
            CloseHandle(holder);
            holder = INVALID_HANDLE_VALUE;
        }
        typeSession();
        const Press p = press(c.command);
        if (holder != INVALID_HANDLE_VALUE) {
            CloseHandle(holder);
        }
        ASSERT_EQ(p.boxes.size(), 1u);
        EXPECT_EQ(p.boxes[0].text, WARNING);
        EXPECT_EQ(readFile(), kept);
        EXPECT_EQ(cell(c.shownCell), c.shown);  // the command's other steps ran
        EXPECT_EQ(GetFileAttributesW(L"bankroll.roi.tmp"), INVALID_FILE_ATTRIBUTES);

        // A new start in the same folder that can read the file shows what it kept,
        // and saves again.
        ASSERT_TRUE(DestroyWindow(window_.dialog));
        releaseFont(window_.cellFont);
        window_ = MainWindow{};
        session() = SessionValues{};
        EXPECT_TRUE(build().empty());
        EXPECT_EQ(cell(1024), "$      100.00");
        EXPECT_EQ(cell(1025), "$      200.00");
        const Press again = press(1026);
        EXPECT_TRUE(again.boxes.empty());
        EXPECT_EQ(readFile(), std::string(ZERO_FILE));
    }
}

// Without its window the program has nothing to show a bankroll in: it touches no file,
// shows no box and says so in its result.
TEST_F(MainWindowTest, AWindowThatCannotBeCreatedRunsNothing) {
    // A parent handle that names no window makes CreateWindowEx fail.
    HWND noWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0));
    ASSERT_FALSE(IsWindow(noWindow));
    Watcher watcher;
    bool created = true;
    runMainWindow(noWindow, &created);
    EXPECT_TRUE(watcher.finish().empty());
    EXPECT_FALSE(created);
    EXPECT_EQ(GetFileAttributesW(FILE_NAME), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(NO_MAIN_WINDOW_EXIT_CODE, 0);
    EXPECT_NE(NO_MAIN_WINDOW_EXIT_CODE, static_cast<int>(FATAL_EXIT_CODE));
}

TEST_F(MainWindowTest, FailedCreationWarnsAfterTheNoticeAndTheCells) {
    // A directory nobody can create files in, not even an administrator: /proc.
    if (!SetCurrentDirectoryW(L"Z:\\proc")) {
        GTEST_SKIP() << "no unwritable directory under this Wine";
    }
    const std::vector<SeenBox> boxes = build();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, NOTICE);
    expectBox(boxes[1], WARNING);
    EXPECT_FALSE(boxes[1].fileExisted);
    EXPECT_EQ(boxes[1].cells.at(1024), MASKED_ZERO);  // the warning follows the rest of the loading
    EXPECT_EQ(boxes[1].cells.at(1025), MASKED_ZERO);
    EXPECT_EQ(session().startingBankrollText, "");
}

// ---------------------------------------------------------------------------------
// CALCULATE

struct Inputs {
    const char* won;
    const char* bet;
    const char* made;
    const char* wins;
    const char* start;  // null: the cell keeps what loading put there
};

// What the bankroll and result cells show after CALCULATE.
struct Shown {
    const char* start;
    const char* end;
    const char* roi;
    const char* win;
    const char* mutuel;
};

// What the file holds after it, and the session texts read back from the file.
struct Kept {
    const char* file;
    const char* start;
    const char* end;
    const char* net;
};

// One CALCULATE run after another from a fresh start with two zeros in the file.
struct CalculateCase {
    const char* name;
    Inputs in;
    int presses;
    int code;
    Shown shown;
    Kept kept;
};
// A case a row: its inputs, then the cells it shows, then what the file and session keep.
// clang-format off
const CalculateCase CALCULATE_CASES[] = {
    // The cell shows "$        0.00" after loading; its filtered text is what is saved.
    {"all empty", {"", "", "", "", nullptr}, 1, 0,
     {MASKED_ZERO, MASKED_ZERO, "$   0.00", "  0.00%", "$    0.00"},
     {"\"0.00\"\r\n\"0\"\r\n", "0.00", "0", " 0"}},
    {"starting bankroll only", {"", "", "", "", "1000"}, 1, 0,
     {"$    1,000.00", "$    1,000.00", "$   0.00", "  0.00%", "$    0.00"},
     {"\"1000\"\r\n\"1000\"\r\n", "1000", "1000", " 0"}},
    {"one session", {"150", "100", "10", "3", "1000"}, 1, 0,
     {"$    1,000.00", "$    1,050.00", "$   1.50", " 30.00%", "$   50.00"},
     {"\"1000\"\r\n\"1050\"\r\n", "1000", "1050", " 50"}},
    // The second press reads "$    1,000.00" back from the cell as 1000.
    {"same again", {"150", "100", "10", "3", "1000"}, 2, 0,
     {"$    1,000.00", "$    1,100.00", "$   1.50", " 30.00%", "$   50.00"},
     {"\"1000.00\"\r\n\"1100\"\r\n", "1000.00", "1100", " 100"}},
    {"accelerator code 1", {"150", "100", "10", "3", "1000"}, 1, 1,
     {"$    1,000.00", "$    1,050.00", "$   1.50", " 30.00%", "$   50.00"},
     {"\"1000\"\r\n\"1050\"\r\n", "1000", "1050", " 50"}},
    {"money typed with signs and commas", {"$1,234.50", "$1,000", "4", "2", "$2,000.00"}, 1, 0,
     {"$    2,000.00", "$    2,234.50", "$   1.23", " 50.00%", "$  617.25"},
     {"\"2000.00\"\r\n\"2234.5\"\r\n", "2000.00", "2234.5", " 234.5"}},
    {"negative amount won", {"-50", "100", "", "2", "500"}, 1, 0,
     {"$      500.00", "$      350.00", "$  -0.50", "  0.00%", "$  -25.00"},
     {"\"500\"\r\n\"350\"\r\n", "500", "350", "-150"}},
    {"more won than made, nothing bet", {"60", "0", "5", "6", "0"}, 1, 0,
     {MASKED_ZERO, "$       60.00", "$   0.00", "  0.00%", "$   10.00"},
     {"\"0\"\r\n\"60\"\r\n", "0", "60", " 60"}},
};
// clang-format on

TEST_F(MainWindowTest, CalculateShowsSavesAndReadsBack) {
    for (const CalculateCase& c : CALCULATE_CASES) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        buildWith(ZERO_FILE);
        type(1001, c.in.won);
        type(1002, c.in.bet);
        type(1003, c.in.made);
        type(1004, c.in.wins);
        if (c.in.start != nullptr) {
            type(1024, c.in.start);
        }
        for (int i = 0; i < c.presses; ++i) {
            const Press p = press(1009, c.code);
            EXPECT_EQ(p.result, 0);
            EXPECT_TRUE(p.boxes.empty());
        }
        EXPECT_EQ(cell(1024), c.shown.start);
        EXPECT_EQ(cell(1025), c.shown.end);
        EXPECT_EQ(cell(1011), c.shown.roi);
        EXPECT_EQ(cell(1015), c.shown.win);
        EXPECT_EQ(cell(1018), c.shown.mutuel);
        EXPECT_EQ(readFile(), std::string(c.kept.file));
        EXPECT_EQ(session().startingBankrollText, c.kept.start);
        EXPECT_EQ(session().endingBankrollText, c.kept.end);
        EXPECT_EQ(session().runningNetText, c.kept.net);
        EXPECT_EQ(cell(1001), c.in.won);  // the inputs stay as typed
    }
}

// Whether this system refuses to write a read-only file. Wine leaves that to the
// Unix permissions, which an administrator (root) passes, so there it does not.
bool readOnlyIsEnforced() {
    const wchar_t probe[] = L"read_only_probe";
    HANDLE file = CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    file = CreateFileW(probe, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool refused = file == INVALID_HANDLE_VALUE;
    if (!refused) {
        CloseHandle(file);
    }
    SetFileAttributesW(probe, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(probe);
    return refused;
}

TEST_F(MainWindowTest, FailedSaveKeepsTheFileAndWarnsAfterTheCommandsOtherSteps) {
    enum class Blocker { ReadOnly, HeldOpen };
    // What the cells show while the warning is up.
    const std::map<int, std::string> calculated = {
        {1024, "$    1,000.00"}, {1025, "$    1,050.00"}, {1011, "$   1.50"}, {1015, " 30.00%"}, {1018, "$   50.00"}};
    const std::map<int, std::string> cleared = {{1024, "0"}, {1025, "0"}, {1001, ""}, {1018, ""}};
    struct Case {
        const char* name;
        Blocker blocker;
        int command;
        const std::map<int, std::string>& cellsAtWarning;
        const char* start;  // session texts afterwards
        const char* end;
    };
    const Case cases[] = {
        // The read-back loads the old content while the cells keep the new values.
        {"calculate, read-only file", Blocker::ReadOnly, 1009, calculated, "100", "200"},
        // Held open without sharing: the read-back fails too and gives empty texts.
        {"calculate, file held open", Blocker::HeldOpen, 1009, calculated, "", ""},
        {"clear bankrolls, read-only file", Blocker::ReadOnly, 1026, cleared, "0", "0"},
        {"clear bankrolls, file held open", Blocker::HeldOpen, 1026, cleared, "0", "0"},
    };
    const bool readOnlyWorks = readOnlyIsEnforced();
    const std::string oldFile = "\"100\"\r\n\"200\"\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.blocker == Blocker::ReadOnly && !readOnlyWorks) {
            std::printf("note: row \"%s\" not run: read-only files are writable here\n", c.name);
            continue;
        }
        TearDown();
        SetUp();
        buildWith(oldFile);
        typeSession();
        type(1024, "1000");
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (c.blocker == Blocker::ReadOnly) {
            ASSERT_TRUE(SetFileAttributesW(FILE_NAME, FILE_ATTRIBUTE_READONLY));
        } else {
            holder = CreateFileW(FILE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        }
        const Press p = press(c.command);
        if (holder != INVALID_HANDLE_VALUE) {
            CloseHandle(holder);
        }
        ASSERT_EQ(p.boxes.size(), 1u);
        const SeenBox& warning = p.boxes[0];
        expectBox(warning, WARNING);
        for (const auto& [id, text] : c.cellsAtWarning) {
            EXPECT_EQ(warning.cells.at(id), text) << id;
            EXPECT_EQ(cell(id), text) << id;
        }
        EXPECT_EQ(readFile(), oldFile);
        EXPECT_EQ(session().startingBankrollText, c.start);
        EXPECT_EQ(session().endingBankrollText, c.end);
    }
}

// ---------------------------------------------------------------------------------
// CLEAR ALL, CLEAR BANKROLLS, commands that do nothing

TEST_F(MainWindowTest, ClearAllBlanksInputsAndResultsAndKeepsTheBankroll) {
    buildWith(ZERO_FILE);
    typeSession();
    type(1024, "1000");
    press(1009);
    const std::optional<std::string> fileBefore = readFile();
    const SessionValues before = session();

    const Press p = press(1010);
    EXPECT_EQ(p.result, 0);
    EXPECT_TRUE(p.boxes.empty());
    for (const int id : {1001, 1002, 1003, 1004, 1011, 1015, 1018}) {
        EXPECT_EQ(cell(id), "") << id;
    }
    EXPECT_EQ(cell(1024), "$    1,000.00");
    EXPECT_EQ(cell(1025), "$    1,050.00");
    EXPECT_EQ(readFile(), fileBefore);
    const SessionValues& s = session();
    for (const std::string* text : {&s.totalWonText, &s.totalBetText, &s.betsMadeText, &s.betsWonText}) {
        EXPECT_EQ(*text, "0");
    }
    EXPECT_EQ(s.startingBankrollText, before.startingBankrollText);
    EXPECT_EQ(s.endingBankrollText, before.endingBankrollText);
    EXPECT_EQ(s.runningNetText, before.runningNetText);
    EXPECT_EQ(s.roiText, before.roiText);  // results are blanked in the cells only
    EXPECT_EQ(s.averageMutuelText, before.averageMutuelText);

    // A new starting bankroll: nothing is added to the running net of 50.
    type(1024, "2000");
    press(1009);
    EXPECT_EQ(cell(1025), "$    2,050.00");
    EXPECT_EQ(cell(1011), "$   0.00");
}

TEST_F(MainWindowTest, ClearBankrollsShowsPlainZerosAndWritesTheZeroFile) {
    buildWith("\"700\"\r\n\"900\"\r\n");
    typeSession();
    press(1009);
    const std::string roiBefore = session().roiText;

    const Press p = press(1026);
    EXPECT_EQ(p.result, 0);
    EXPECT_TRUE(p.boxes.empty());
    for (const int id : {1001, 1002, 1003, 1004, 1011, 1015, 1018}) {
        EXPECT_EQ(cell(id), "") << id;
    }
    EXPECT_EQ(cell(1024), "0");  // no mask until the next CALCULATE
    EXPECT_EQ(cell(1025), "0");
    EXPECT_EQ(readFile(), std::string(ZERO_FILE));
    const SessionValues& s = session();
    for (const std::string* text : {&s.totalWonText, &s.totalBetText, &s.betsMadeText, &s.betsWonText,
                                    &s.startingBankrollText, &s.endingBankrollText, &s.runningNetText}) {
        EXPECT_EQ(*text, "0");
    }
    EXPECT_EQ(s.roiText, roiBefore);

    press(1009);
    EXPECT_EQ(cell(1024), MASKED_ZERO);
    EXPECT_EQ(cell(1025), MASKED_ZERO);
    EXPECT_EQ(readFile(), std::string(ZERO_FILE));
}

TEST_F(MainWindowTest, CommandsThatChangeNothing) {
    struct Case {
        int id;
        int code;
        const char* why;
    };
    const Case cases[] = {
        {1009, 2, "notification code 2"},
        {1010, 2, "notification code 2"},
        {1026, 2, "notification code 2"},
        {1021, 2, "notification code 2: no help window"},
        {1009, EN_CHANGE, "a cell-like notification"},
        {1001, EN_CHANGE, "a cell's own notification"},
        {1001, 0, "an input cell is no command"},
        {1024, 0, "nor the bankroll cell, but for Alt+S"},
        {IDOK, 0, "Enter"},
        {IDCANCEL, 0, "Escape"},
        {IDCANCEL, 1, "Escape as an accelerator"},
        {1014, 0, "a label"},
    };
    buildWith("\"700\"\r\n\"900\"\r\n");
    typeSession();
    const std::map<int, std::string> cellsBefore = cells();
    const SessionValues before = session();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << "/" << c.code << ": " << c.why);
        const Press p = press(c.id, c.code);
        EXPECT_EQ(p.result, 0);
        EXPECT_TRUE(p.boxes.empty());
        EXPECT_EQ(p.helpWindows, 0);
        EXPECT_EQ(cells(), cellsBefore);
        EXPECT_EQ(readFile(), std::string("\"700\"\r\n\"900\"\r\n"));
        EXPECT_EQ(session().totalWonText, before.totalWonText);
        EXPECT_EQ(session().runningNetText, before.runningNetText);
        EXPECT_EQ(session().startingBankrollText, before.startingBankrollText);
        EXPECT_TRUE(IsWindow(window_.dialog));
    }
}

TEST_F(MainWindowTest, HelpButtonOpensTheHelpScreenAndReturnsWhenItCloses) {
    buildWith(ZERO_FILE);
    type(1001, "150");
    const std::map<int, std::string> cellsBefore = cells();
    const Press p = press(1021);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.helpWindows, 1);
    EXPECT_TRUE(p.boxes.empty());
    EXPECT_EQ(cells(), cellsBefore);
    // The surface holds the page as its window text, for screen readers: every line, in order.
    ASSERT_EQ(p.helpTexts.size(), 1u);
    std::size_t at = 0;
    for (const HelpLine& line : HELP_LINES) {
        const std::size_t found = p.helpTexts[0].find(line.text, at);
        ASSERT_NE(found, std::string::npos) << "row " << line.row << " missing or out of order";
        at = found + line.text.size();
    }
}

// Whether done() came true within limit.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// The system menu's "Bankroll history", after a separator at its foot, opens the file
// with the program associated with .csv files; with no file yet, or no such program, a
// box says where the file is (or will be).
TEST_F(MainWindowTest, SystemMenuOpensTheHistoryOrSaysWhereItIs) {
    buildWith(ZERO_FILE);
    HMENU menu = GetSystemMenu(window_.dialog, FALSE);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
    EXPECT_EQ(narrow(text), "Bankroll &history");
    EXPECT_NE(GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR, 0u);
    const UINT item = GetMenuItemID(menu, count - 1);

    wchar_t here[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, here);
    const std::string path = narrow(here) + "\\bankroll-history.csv";
    // A program of this prefix stands in for a spreadsheet: it copies what it is given.
    const wchar_t KIND[] = L"RoiTestHistoryViewer";
    const auto associate = [&](bool on) {
        if (!on) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, L".csv");
            RegDeleteTreeW(HKEY_CLASSES_ROOT, KIND);
            return;
        }
        const std::wstring command = L"cmd.exe /c copy \"%1\" opened.csv";
        ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, L".csv", nullptr, REG_SZ, KIND, sizeof KIND), ERROR_SUCCESS);
        ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(KIND) + L"\\shell\\open\\command").c_str(), nullptr,
                                  REG_SZ, command.c_str(), static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    };
    const struct {
        const char* what;
        bool present;
        bool associated;
        const char* box;  // null: no box, the program opens the file
    } cases[] = {
        {"no history yet", false, true, "THE BANKROLL HISTORY DOES NOT EXIST YET - IT WILL BE KEPT IN "},
        {"no program for it", true, false, "NO PROGRAM IS SET TO OPEN THE BANKROLL HISTORY - IT IS KEPT IN "},
        {"the program for it", true, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.present) {
            press(1009);  // a save, and with it the history
        }
        associate(c.associated);
        Watcher watcher;
        EXPECT_EQ(mainDialogHandler(window_.dialog, WM_SYSCOMMAND, item, 0), 0);
        const std::vector<SeenBox> boxes = watcher.finish();
        if (c.box != nullptr) {
            ASSERT_EQ(boxes.size(), 1u);
            expectBox(boxes[0], c.box + path);
        } else {
            EXPECT_TRUE(boxes.empty());
            const std::string history = roi_test::readRaw(path);
            std::string opened;
            for (int tries = 0; tries < 1000 && (opened = roi_test::readRaw("opened.csv")) != history; ++tries) {
                std::this_thread::sleep_for(10ms);
            }
            EXPECT_EQ(opened, history) << "the associated program did not get the history";
            // Its console window goes with it; until then it may hold the foreground, and
            // a later test's keys would go there.
            waitFor([] {
                bool other = false;
                EnumWindows(markOtherProcessWindow, reinterpret_cast<LPARAM>(&other));
                return !other;
            });
        }
        associate(false);
    }
}

// ---------------------------------------------------------------------------------
// Focus keeping

TEST_F(MainWindowTest, ActivationGivesTheFocusBackToTheCellThatHadIt) {
    struct Case {
        int focusedWhenDeactivated;  // 0: no focus at all
        int focusMovedTo;            // where the focus is when the window comes back
        int expected;
        const char* why;
    };
    const Case cases[] = {
        {1002, 1001, 1002, "TOTAL AMOUNT BET regains the focus"},
        {1024, 1009, 1024, "a cell that is no tab stop too"},
        {0, 1004, 1004, "nothing saved: the focus stays where it is"},
    };
    buildWith(ZERO_FILE);
    ShowWindow(window_.dialog, SW_SHOW);
    SetForegroundWindow(window_.dialog);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        SetFocus(c.focusedWhenDeactivated == 0 ? nullptr : item(c.focusedWhenDeactivated));
        mainDialogHandler(window_.dialog, WM_NCACTIVATE, FALSE, 0);
        SetFocus(item(c.focusMovedTo));
        ASSERT_EQ(GetFocus(), item(c.focusMovedTo));
        EXPECT_EQ(mainDialogHandler(window_.dialog, WM_NCACTIVATE, TRUE, 0), 0);
        EXPECT_EQ(GetFocus(), item(c.expected));
        // Restored once: a second activation leaves the focus alone.
        SetFocus(item(1003));
        mainDialogHandler(window_.dialog, WM_NCACTIVATE, TRUE, 0);
        EXPECT_EQ(GetFocus(), item(1003));
    }
}

// ---------------------------------------------------------------------------------
// One whole run of the window builder, driven from another thread as a user would

// Posted messages reach a thread in order: once a selection posted after them shows in
// the cell, what was posted before it has been handled. Twice, so that whatever that
// handling posted in turn has run too.
bool handledWhatWasPosted(HWND cell) {
    for (DWORD round = 1; round <= 2; ++round) {
        PostMessageW(cell, EM_SETSEL, round, round + 1);
        const bool selected = waitFor([&] {
            DWORD start = 0;
            DWORD end = 0;
            SendMessageTimeoutW(cell, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end),
                                SMTO_BLOCK, 2000, nullptr);
            return start == round && end == round + 1;
        });
        if (!selected) {
            return false;
        }
    }
    return true;
}

// What the user thread of the main routine's run saw.
struct UserRun {
    bool shown = false;
    std::map<int, std::string> cells;
    bool openAfterEscapeAndEnter = false;
    bool altSSent = false;
    bool altSFocused = false;
    std::string typedBankroll;
};

// Key strokes as real input, in order: each a virtual key and whether it goes up.
bool sendKeys(std::initializer_list<std::pair<WORD, bool>> strokes) {
    std::vector<INPUT> inputs;
    for (const auto& [vk, up] : strokes) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

HWND focusOfThreadOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// STARTING BANKROLL from the keyboard alone: Alt+S, then the figure, as real key events.
void typeBankrollAfterAltS(HWND dialog, UserRun& seen) {
    waitFor([&] { return GetForegroundWindow() == dialog; });
    seen.altSSent = sendKeys({{VK_MENU, false}, {'S', false}, {'S', true}, {VK_MENU, true}});
    seen.altSFocused = waitFor([&] { return focusOfThreadOf(dialog) == GetDlgItem(dialog, 1024); });
    for (const char digit : std::string("1000")) {
        sendKeys({{static_cast<WORD>(digit), false}, {static_cast<WORD>(digit), true}});
    }
    waitFor([&] { return windowText(GetDlgItem(dialog, 1024)) == "1000"; });
    seen.typedBankroll = windowText(GetDlgItem(dialog, 1024));
}

TEST_F(MainWindowTest, MainRoutineRunsTheWindowUntilTheCloseBoxAndReleasesTheCellFont) {
    writeFile(ZERO_FILE);
    UserRun seen;
    std::thread user([&seen] {
        HWND dialog = nullptr;
        seen.shown = waitFor([&] {
            dialog = findMainDialog();
            return dialog != nullptr && IsWindowVisible(dialog);
        });
        if (!seen.shown) {
            return;
        }
        const std::pair<int, const wchar_t*> typed[] = {{1001, L"150"}, {1002, L"100"}, {1003, L"10"}, {1004, L"3"}};
        for (const auto& [id, text] : typed) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                                &ignored);
        }
        typeBankrollAfterAltS(dialog, seen);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1009, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1009)));
        waitFor([&] { return windowText(GetDlgItem(dialog, 1018)) != ""; });
        for (const int id : CELLS) {
            seen.cells[id] = windowText(GetDlgItem(dialog, id));
        }
        // Escape and Enter in a cell reach the handler as IDCANCEL and IDOK.
        for (const WPARAM key : {VK_ESCAPE, VK_RETURN}) {
            PostMessageW(GetDlgItem(dialog, 1001), WM_KEYDOWN, key, 1);
            PostMessageW(GetDlgItem(dialog, 1001), WM_KEYUP, key, 0xC0000001);
        }
        seen.openAfterEscapeAndEnter =
            handledWhatWasPosted(GetDlgItem(dialog, 1001)) && IsWindow(dialog) && IsWindowVisible(dialog);
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    Watcher watcher;
    const int result = mainRoutine(nullptr, nullptr, L"", SW_SHOWDEFAULT);
    user.join();
    EXPECT_TRUE(watcher.finish().empty());

    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(seen.altSSent);
    EXPECT_TRUE(seen.altSFocused) << "Alt+S did not put the caret in STARTING BANKROLL";
    EXPECT_EQ(seen.typedBankroll, "1000");  // typed over the bankroll the cell showed
    EXPECT_EQ(result, 0);
    EXPECT_EQ(findMainDialog(), nullptr);
    EXPECT_EQ(seen.cells[1024], "$    1,000.00");
    EXPECT_EQ(seen.cells[1025], "$    1,050.00");
    EXPECT_EQ(seen.cells[1011], "$   1.50");
    EXPECT_EQ(seen.cells[1015], " 30.00%");
    EXPECT_EQ(seen.cells[1018], "$   50.00");
    EXPECT_TRUE(seen.openAfterEscapeAndEnter);
    EXPECT_EQ(readFile(), std::string("\"1000\"\r\n\"1050\"\r\n"));

    // The same request names the same font; after the run nothing uses it and it is deleted.
    const int cellFont = createFont("MS Sans Serif", 10.0f, FONT_BOLD, ANSI_CHARSET, 0, 0);
    FontRecord font;
    ASSERT_TRUE(fontInfo(cellFont, font));
    EXPECT_EQ(font.references, 0);
    EXPECT_EQ(font.realised, nullptr);
}

// ---------------------------------------------------------------------------------
// The program's resources (compiled into this test as into the program)

struct ResourceBytes {
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

ResourceBytes resource(int id, const wchar_t* type) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(nullptr, found);
    return {static_cast<const unsigned char*>(LockResource(loaded)), SizeofResource(nullptr, found)};
}

TEST(ProgramResources, BadgesAre24BitBitmapsOfTheirSizesWithoutRemappedGreys) {
    struct Case {
        int id;
        LONG width, height;
    };
    const Case cases[] = {{123, 124, 22}, {456, 122, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const ResourceBytes bytes = resource(c.id, MAKEINTRESOURCEW(2));  // RT_BITMAP
        ASSERT_NE(bytes.data, nullptr);
        BITMAPINFOHEADER info;
        ASSERT_GE(bytes.size, sizeof info);
        std::memcpy(&info, bytes.data, sizeof info);
        EXPECT_EQ(info.biWidth, c.width);
        EXPECT_EQ(info.biHeight, c.height);
        EXPECT_EQ(info.biBitCount, 24);
        EXPECT_EQ(info.biCompression, static_cast<DWORD>(BI_RGB));
        const DWORD stride = (static_cast<DWORD>(c.width) * 3 + 3) & ~3u;
        ASSERT_GE(bytes.size, info.biSize + stride * static_cast<DWORD>(c.height));
        // LR_LOADMAP3DCOLORS would swap these greys for the 3D colours of the theme.
        int remapped = 0;
        for (LONG y = 0; y < c.height; ++y) {
            const unsigned char* row = bytes.data + info.biSize + stride * static_cast<DWORD>(y);
            for (LONG x = 0; x < c.width; ++x) {
                const unsigned char* p = row + 3 * x;
                const bool grey = p[0] == p[1] && p[1] == p[2] && (p[0] == 128 || p[0] == 192 || p[0] == 223);
                remapped += grey ? 1 : 0;
            }
        }
        EXPECT_EQ(remapped, 0);
    }
}

TEST(ProgramResources, ManifestAsksForCommonControls6AndSystemDpiAwareness) {
    const ResourceBytes bytes = resource(1, MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(bytes.data, nullptr);
    const std::string manifest(reinterpret_cast<const char*>(bytes.data), bytes.size);
    for (const char* needed :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "publicKeyToken=\"6595b64144ccf1df\"",
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">true</dpiAware>",
          ">system</dpiAwareness>"}) {
        EXPECT_NE(manifest.find(needed), std::string::npos) << needed;
    }
    // Nothing is made again when the DPI changes, so no per-monitor promise.
    for (const char* promise : {"PerMonitor", "/pm<"}) {
        EXPECT_EQ(manifest.find(promise), std::string::npos) << promise;
    }
}

TEST(ProgramResources, IconHoldsEverySizeAndVersionNamesTheProduct) {
    const ResourceBytes group = resource(1, MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group.data, nullptr);
    ASSERT_GE(group.size, 6u);
    const int count = group.data[4] | (group.data[5] << 8);
    ASSERT_GE(group.size, 6u + 14u * static_cast<unsigned>(count));
    std::set<int> sizes;
    for (int i = 0; i < count; ++i) {
        const unsigned char* entry = group.data + 6 + 14 * i;
        const int size = entry[0] == 0 ? 256 : entry[0];  // GRPICONDIRENTRY.bWidth, 0 meaning 256
        sizes.insert(size);
        // The large images are PNG-compressed; the small ones plain bitmaps.
        const ResourceBytes image = resource(entry[12] | (entry[13] << 8), MAKEINTRESOURCEW(3));  // RT_ICON by nId
        ASSERT_GE(image.size, 8u) << size;
        const bool png = std::memcmp(image.data, "\x89PNG", 4) == 0;
        EXPECT_EQ(png, size >= 64) << size;
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 32, 40, 48, 64, 256}));

    const ResourceBytes version = resource(1, MAKEINTRESOURCEW(16));  // RT_VERSION
    ASSERT_NE(version.data, nullptr);
    const std::wstring text(reinterpret_cast<const wchar_t*>(version.data), version.size / sizeof(wchar_t));
    EXPECT_NE(text.find(std::wstring(L"Quillmarsh ROI CALCULATOR", 26)), std::wstring::npos);  // with its zero
    EXPECT_NE(text.find(L"CompanyName"), std::wstring::npos);
    // VS_FIXEDFILEINFO: the signature, then the structure version, then the project's
    // file version (major, minor, patch, 0).
    const DWORD signature = 0xFEEF04BD;
    const unsigned char* at = nullptr;
    for (DWORD i = 0; i + 16 <= version.size; i += 4) {
        if (std::memcmp(version.data + i, &signature, 4) == 0) {
            at = version.data + i;
            break;
        }
    }
    ASSERT_NE(at, nullptr);
    DWORD fileVersion[2];
    std::memcpy(fileVersion, at + 8, sizeof fileVersion);
    const unsigned parts[4] = {ROI_VERSION_NUMBERS};
    EXPECT_EQ(fileVersion[0], parts[0] << 16 | parts[1]);
    EXPECT_EQ(fileVersion[1], parts[2] << 16 | parts[3]);
}

}  // namespace
}  // namespace roi
