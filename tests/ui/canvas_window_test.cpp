// The text canvas window under Wine: print positions, clipping, the client size in
// cells, key capture, the close box, currentCanvas and the release of every object.
// The test thread is the drawing thread; every wait is bounded by a watchdog.
#include "ui/canvas_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/runtime.h"
#include "tests/ui/canvas_test_support.h"
#include "ui/window_records.h"

namespace roi {
namespace {

using namespace roi_test;

class CanvasEnvironment : public testing::Environment {
public:
    void SetUp() override {
        threadRecord();  // the test thread is the main thread
        createDefaultFonts();
    }
};
const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new CanvasEnvironment);

void clearCurrentCanvas() {
    ErrorSlot slot;
    selectCanvas(nullptr, 0, false);  // fails, and leaves no current canvas
}

// A canvas window that is current on the test thread for one scope. Hidden unless
// asked: under Wine without a window manager, closing a shown window takes seconds.
class TestCanvas {
public:
    TestCanvas(int columns, int rows, int options = CANVAS_CELLS) {
        clearCurrentCanvas();
        frame = createCanvasWindow("canvas test", 40, 40, columns, rows, options, 0, 0);
        surface = frame != nullptr ? GetDlgItem(frame, 0) : nullptr;
    }
    ~TestCanvas() {
        if (frame != nullptr && IsWindow(frame)) {
            closeCanvasWindow(frame);
        }
        clearCurrentCanvas();
    }
    TestCanvas(const TestCanvas&) = delete;
    TestCanvas& operator=(const TestCanvas&) = delete;

    class HeldState;
    HeldState state() const;

    HWND frame = nullptr;
    HWND surface = nullptr;
};

// A canvas's drawing state, with graphicsLock held for as long as this lives.
class TestCanvas::HeldState {
public:
    explicit HeldState(HWND surface) : state_(*hold_.surface(surface)->surface) {}
    SurfaceState* operator->() const { return &state_; }

private:
    DrawingAccess hold_;
    SurfaceState& state_;
};

TestCanvas::HeldState TestCanvas::state() const {
    return HeldState(surface);
}

POINT printPosition(const TestCanvas& canvas) {
    return POINT{canvas.state()->x, canvas.state()->y};
}

// Read on the canvas's own memory DC: only safe while nothing paints it (a hidden canvas).
POINT dcPosition(const TestCanvas& canvas) {
    POINT position = {-1, -1};
    GetCurrentPositionEx(canvas.state()->memoryDc, &position);
    return position;
}

Snapshot snapshot(const TestCanvas& canvas) {
    return bitmapPixels(canvas.surface);
}

// The rightmost column with ink in rows [top, bottom), or -1.
int lastInkColumn(const Snapshot& shot, int top, int bottom) {
    for (int x = shot.width - 1; x >= 0; --x) {
        if (hasInk(shot, x, top, x + 1, bottom)) {
            return x;
        }
    }
    return -1;
}

// ---- pure rules ---------------------------------------------------------------------------

LPARAM keyParam(int scanCode, bool extended = false, bool alt = false) {
    return static_cast<LPARAM>(1 | (scanCode << 16) | (extended ? 1 << 24 : 0) | (alt ? 1 << 29 : 0));
}

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Posts messages to a window from another thread, one every delayMs, the first after delayMs.
class DelayedPoster {
public:
    DelayedPoster(HWND window, std::vector<Posted> messages, DWORD delayMs)
        : thread_([window, messages = std::move(messages), delayMs] {
              for (const Posted& posted : messages) {
                  Sleep(delayMs);
                  PostMessageW(window, posted.message, posted.wParam, posted.lParam);
              }
          }) {}
    ~DelayedPoster() { thread_.join(); }
    DelayedPoster(const DelayedPoster&) = delete;
    DelayedPoster& operator=(const DelayedPoster&) = delete;

private:
    std::thread thread_;
};

TEST(KeyToCapture, StoresCharactersAndTheListedScanCodes) {
    struct Case {
        const char* why;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool numLockOn;
        bool shiftDown;
        LONG expected;
    };
    const Case cases[] = {
        {"a letter", WM_CHAR, 'k', keyParam(0x25), true, false, 'k'},
        {"Tab is never a key", WM_CHAR, '\t', keyParam(0x0F), true, false, 0},
        {"Enter", WM_CHAR, '\r', keyParam(0x1C), true, false, '\r'},
        {"a character beyond Latin-1", WM_CHAR, 0x20AC, keyParam(0x12), true, false, 0x20AC},
        {"cursor up, extended", WM_KEYDOWN, VK_UP, keyParam(0x48, true), true, false, 0x480000},
        {"Delete, extended", WM_KEYDOWN, VK_DELETE, keyParam(0x53, true), true, false, 0x530000},
        {"keypad Enter keeps its character", WM_KEYDOWN, VK_RETURN, keyParam(0x1C, true), true, false, 0},
        {"keypad slash keeps its character", WM_KEYDOWN, VK_DIVIDE, keyParam(0x35, true), true, false, 0},
        {"extended 0x3A", WM_KEYDOWN, VK_CAPITAL, keyParam(0x3A, true), true, false, 0},
        {"Num Lock", WM_KEYDOWN, VK_NUMLOCK, keyParam(0x45, true), true, false, 0},
        {"Break", WM_KEYDOWN, VK_CANCEL, keyParam(0x46, true), true, false, 0},
        {"F1", WM_KEYDOWN, VK_F1, keyParam(0x3B), true, false, 0x3B0000},
        {"F10", WM_KEYDOWN, VK_F10, keyParam(0x44), true, false, 0x440000},
        {"F11", WM_KEYDOWN, VK_F11, keyParam(0x57), true, false, 0x570000},
        {"F12", WM_KEYDOWN, VK_F12, keyParam(0x58), true, false, 0x580000},
        {"a letter's key-down waits for its character", WM_KEYDOWN, 'A', keyParam(0x1E), true, false, 0},
        {"Escape's key-down waits for its character", WM_KEYDOWN, VK_ESCAPE, keyParam(0x01), true, false, 0},
        {"keypad 7 with Num Lock off", WM_KEYDOWN, VK_HOME, keyParam(0x47), false, false, 0x470000},
        {"keypad 7 with Num Lock on types a digit", WM_KEYDOWN, VK_NUMPAD7, keyParam(0x47), true, false, 0},
        {"keypad 7 with Num Lock on and Shift", WM_KEYDOWN, VK_HOME, keyParam(0x47), true, true, 0x470000},
        {"keypad period, last of the block", WM_KEYDOWN, VK_DELETE, keyParam(0x53), false, false, 0x530000},
        {"keypad minus is no cursor key", WM_KEYDOWN, VK_SUBTRACT, keyParam(0x4A), false, false, 0},
        {"keypad plus is no cursor key", WM_KEYDOWN, VK_ADD, keyParam(0x4E), false, false, 0},
        {"Alt+F10", WM_SYSKEYDOWN, VK_F10, keyParam(0x44, false, true), true, false, 0x440000},
        {"F10 alone comes as a system key", WM_SYSKEYDOWN, VK_F10, keyParam(0x44), true, false, 0x440000},
        {"Alt+F4 is left to closing", WM_SYSKEYDOWN, VK_F4, keyParam(0x3E, false, true), true, false, 0},
        {"key-up is not a key", WM_KEYUP, VK_F1, keyParam(0x3B), true, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(keyToCapture(c.message, c.wParam, c.lParam, c.numLockOn, c.shiftDown), c.expected);
    }
}

// ---- the window -----------------------------------------------------------------------------

TEST(CreateCanvasWindow, ClientAreaIsExactlyTheCells) {
    Watchdog dog(30000);
    const Cell cell = fontOneCell();
    struct Case {
        const char* why;
        int width;
        int height;
        int options;
        int expectedWidth;
        int expectedHeight;
    };
    const Case cases[] = {
        {"the help screen's 135 x 60 cells", 135, 60, CANVAS_CELLS | CANVAS_SHOW, 135 * cell.width, 60 * cell.height},
        {"a small canvas", 16, 2, CANVAS_CELLS | CANVAS_SHOW, 16 * cell.width, 2 * cell.height},
        {"pixels without the cell option", 200, 90, CANVAS_SHOW, 200, 90},
        {"hidden, cells", 10, 3, CANVAS_CELLS, 10 * cell.width, 3 * cell.height},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TestCanvas canvas(c.width, c.height, c.options);
        ASSERT_NE(canvas.frame, nullptr);
        ASSERT_NE(canvas.surface, nullptr);
        RECT client = {};
        GetClientRect(canvas.frame, &client);
        EXPECT_EQ(client.right - client.left, c.expectedWidth);
        EXPECT_EQ(client.bottom - client.top, c.expectedHeight);
        RECT surfaceClient = {};
        GetClientRect(canvas.surface, &surfaceClient);
        EXPECT_EQ(surfaceClient.right, c.expectedWidth);
        EXPECT_EQ(surfaceClient.bottom, c.expectedHeight);
        EXPECT_EQ(canvas.state()->width, c.expectedWidth);
        EXPECT_EQ(canvas.state()->height, c.expectedHeight);
        EXPECT_EQ(canvas.state()->averageCharWidth, cell.width);
        EXPECT_EQ(canvas.state()->lineHeight, cell.height);
        EXPECT_EQ(IsWindowVisible(canvas.frame) != FALSE, (c.options & CANVAS_SHOW) != 0);
    }
}

TEST(CreateCanvasWindow, FrameIsAFixedTopLevelWindowOfItsClass) {
    Watchdog dog(30000);
    TestCanvas canvas(20, 5, CANVAS_CELLS | CANVAS_SHOW);
    ASSERT_NE(canvas.frame, nullptr);
    wchar_t className[64] = {};
    GetClassNameW(canvas.frame, className, 64);
    EXPECT_EQ(std::wstring(className), std::wstring(CANVAS_CLASS));
    wchar_t caption[64] = {};
    GetWindowTextW(canvas.frame, caption, 64);
    EXPECT_EQ(std::wstring(caption), L"canvas test");
    const auto style = static_cast<DWORD>(GetWindowLongW(canvas.frame, GWL_STYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));  // a title gives a caption bar
    EXPECT_NE(style & WS_SYSMENU, 0u);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0u);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0u);
    EXPECT_EQ(style & WS_THICKFRAME, 0u);
    EXPECT_EQ(GetParent(canvas.frame), nullptr);
    RECT outer = {};
    GetWindowRect(canvas.frame, &outer);
    EXPECT_EQ(outer.left, 40);
    EXPECT_EQ(outer.top, 40);
    // The surface: control 0, owner-drawn, with its record and the canvas font.
    EXPECT_EQ(GetDlgCtrlID(canvas.surface), 0);
    const auto surfaceStyle = static_cast<DWORD>(GetWindowLongW(canvas.surface, GWL_STYLE));
    EXPECT_EQ(surfaceStyle & SS_TYPEMASK, static_cast<DWORD>(SS_OWNERDRAW));
    {
        const LockedRecord record(canvas.surface);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->kind, ControlKind::GraphicSurface);
        EXPECT_EQ(record->font, 1);
    }
    EXPECT_EQ(threadRecord().currentCanvas, canvas.surface);
}

// ---- print positions -------------------------------------------------------------------------

TEST(PrintPosition, FollowsTextNewLineAndSetColumn) {
    Watchdog dog(30000);
    TestCanvas canvas(40, 10);
    ASSERT_NE(canvas.surface, nullptr);
    const int cw = canvas.state()->averageCharWidth;
    const int lh = canvas.state()->lineHeight;
    enum class Op { Print, NewLine, Column };
    struct Step {
        const char* why;
        Op op;
        const char* text;
        int column;
        int expectedX;  // before the text's width is added, for Print
        int expectedY;
    };
    const Step steps[] = {
        {"empty text changes nothing", Op::Print, "", 0, 0, 0},
        {"the first text starts at (0, 0)", Op::Print, "AB", 0, 0, 0},
        {"a new line starts at (0, line height)", Op::NewLine, nullptr, 0, 0, lh},
        {"column 5 is four average widths in, same row", Op::Column, nullptr, 5, 4 * cw, lh},
        {"text at column 5", Op::Print, "X", 0, 4 * cw, lh},
        {"a column left of the position moves down a row first", Op::Column, nullptr, 5, 4 * cw, 2 * lh},
        {"a column to the right stays on the row", Op::Column, nullptr, 9, 8 * cw, 2 * lh},
        {"the same column stays on the row", Op::Column, nullptr, 9, 8 * cw, 2 * lh},
        {"two new lines", Op::NewLine, nullptr, 0, 0, 3 * lh},
        {"", Op::NewLine, nullptr, 0, 0, 4 * lh},
        {"column 1 at x = 0 stays on the row", Op::Column, nullptr, 1, 0, 4 * lh},
    };
    int previousX = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        int expectedX = step.expectedX;
        switch (step.op) {
        case Op::Print: {
            EXPECT_EQ(printPosition(canvas).x, step.expectedX);
            const std::string text(step.text);
            printText(text);
            expectedX = previousX + textWidth(std::wstring(text.begin(), text.end()));
            break;
        }
        case Op::NewLine:
            newLine();
            break;
        case Op::Column:
            setColumn(step.column);
            break;
        }
        const POINT stored = printPosition(canvas);
        EXPECT_EQ(stored.x, expectedX);
        EXPECT_EQ(stored.y, step.expectedY);
        const POINT dc = dcPosition(canvas);
        EXPECT_EQ(dc.x, stored.x);  // the DC's current position is the print position
        EXPECT_EQ(dc.y, stored.y);
        previousX = stored.x;
    }
}

TEST(PrintText, DrawsOpaqueCellsAtThePrintPosition) {
    Watchdog dog(30000);
    TestCanvas canvas(40, 6);
    ASSERT_NE(canvas.surface, nullptr);
    const int cw = canvas.state()->averageCharWidth;
    const int lh = canvas.state()->lineHeight;
    const Snapshot blank = snapshot(canvas);
    EXPECT_FALSE(hasInk(blank, 0, 0, blank.width, blank.height));  // filled with the background
    newLine();
    setColumn(5);
    printText("HELLO");
    const Snapshot shot = snapshot(canvas);
    EXPECT_FALSE(hasInk(shot, 0, 0, shot.width, lh)) << "row 1 stays empty";
    EXPECT_FALSE(hasInk(shot, 0, lh, 4 * cw, 2 * lh)) << "nothing left of column 5";
    EXPECT_TRUE(hasInk(shot, 4 * cw, lh, 5 * cw, 2 * lh)) << "the first letter is in column 5";
    EXPECT_FALSE(hasInk(shot, 0, 2 * lh, shot.width, shot.height)) << "nothing below the row";
    // The text colour is the window-text colour.
    const std::uint32_t foreground = asDibColour(GetSysColor(COLOR_WINDOWTEXT));
    bool foundForeground = false;
    for (int y = lh; y < 2 * lh && !foundForeground; ++y) {
        for (int x = 4 * cw; x < 10 * cw; ++x) {
            foundForeground = foundForeground || shot.at(x, y) == foreground;
        }
    }
    EXPECT_TRUE(foundForeground);
}

TEST(PrintText, IsCutOffAtTheRightEdgeWhileThePositionMovesOn) {
    Watchdog dog(30000);
    TestCanvas canvas(10, 3);
    ASSERT_NE(canvas.surface, nullptr);
    const int width = canvas.state()->width;
    const int lh = canvas.state()->lineHeight;
    const std::string longText(40, 'W');
    printText(longText);
    const int longWidth = textWidth(std::wstring(longText.begin(), longText.end()));
    ASSERT_GT(longWidth, width);
    EXPECT_EQ(printPosition(canvas).x, longWidth);
    const Snapshot shot = snapshot(canvas);
    EXPECT_GE(lastInkColumn(shot, 0, lh), width - canvas.state()->averageCharWidth) << "text runs to the edge";
    EXPECT_FALSE(hasInk(shot, 0, lh, shot.width, shot.height)) << "nothing wraps to the next row";
    // Past the edge nothing is drawn, but the position still moves.
    printText("MORE");
    EXPECT_EQ(printPosition(canvas).x, longWidth + textWidth(L"MORE"));
    EXPECT_TRUE(snapshot(canvas) == shot);
    // A new line starts a fresh row at x = 0.
    newLine();
    EXPECT_EQ(printPosition(canvas).x, 0);
    EXPECT_EQ(printPosition(canvas).y, lh);
    printText("A");
    EXPECT_TRUE(hasInk(snapshot(canvas), 0, lh, canvas.state()->averageCharWidth * 2, 2 * lh));
}

TEST(PrintText, RowsBelowTheBottomAreNeverDrawn) {
    Watchdog dog(30000);
    TestCanvas canvas(10, 2);
    ASSERT_NE(canvas.surface, nullptr);
    const Snapshot before = snapshot(canvas);
    for (int row = 0; row < 3; ++row) {
        newLine();
    }
    printText("BELOW");
    EXPECT_TRUE(snapshot(canvas) == before);
    EXPECT_EQ(printPosition(canvas).y, 3 * canvas.state()->lineHeight);
}

TEST(PrintText, WithoutACurrentCanvasDoesNothing) {
    Watchdog dog(10000);
    clearCurrentCanvas();
    printText("nowhere");
    newLine();
    setColumn(3);
    EXPECT_EQ(threadRecord().currentCanvas, nullptr);
    EXPECT_EQ(waitForKey(0, L""), L"");  // returns at once: there is nothing to wait on
}

// ---- refresh -----------------------------------------------------------------------------------

TEST(Refresh, IdleCanvasThreadRefreshesUnlessDeferred) {
    Watchdog dog(30000);
    TestCanvas canvas(20, 4);
    ASSERT_NE(canvas.surface, nullptr);
    ASSERT_TRUE(LockedRecord(canvas.surface));
    struct Case {
        const char* why;
        bool deferred;
        bool dirtyAfterIdle;
    };
    const Case cases[] = {
        {"deferred: the owner refreshes when it chooses", true, true},
        {"not deferred: the canvas thread refreshes when idle", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        selectCanvas(canvas.frame, 0, c.deferred);
        ASSERT_EQ(threadRecord().currentCanvas, canvas.surface);
        printText("DIRTY");
        bool dirty = true;
        for (int i = 0; i < 100 && dirty; ++i) {  // up to a second of idleness
            Sleep(10);
            dirty = (LockedRecord(canvas.surface)->flags & RECORD_DIRTY) != 0;
        }
        EXPECT_EQ(dirty, c.dirtyAfterIdle);
    }
    // The drawing side refreshes by itself at least every 250 drawings.
    selectCanvas(canvas.frame, 0, false);
    for (int i = 0; i < 600; ++i) {
        printText(".");
        ASSERT_LT(canvas.state()->refreshCounter, 250);
    }
}

// The window is painted from the bitmap at any time (here: invalidated from a third
// thread over and over) while the test thread prints into the bitmap. A DC serves one
// thread at a time, so unguarded, a print that meets a paint is lost (its position
// does not move), or the paint is (the window keeps stale pixels).
TEST(Refresh, NothingIsLostWhenPaintsMeetPrints) {
    Watchdog dog(60000);
    constexpr int ROWS = 40;
    TestCanvas canvas(30, ROWS, CANVAS_CELLS | CANVAS_SHOW);
    ASSERT_NE(canvas.surface, nullptr);
    const int cw = canvas.state()->averageCharWidth;
    const int widths[2] = {textWidth(L"AB"), textWidth(L"WX")};
    std::atomic<bool> printing{true};
    std::thread painter([&] {
        while (printing.load()) {
            RedrawWindow(canvas.surface, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        }
    });
    int lostPrints = 0;
    int prints = 0;
    // Page after page for a while, so that paints keep meeting prints.
    const ULONGLONG end = GetTickCount64() + 1500;
    for (int page = 0; GetTickCount64() < end; ++page) {
        for (int row = 0; row < ROWS; ++row) {
            for (int column = 1; column < 30; column += 4) {
                setColumn(column);
                const int which = (row + page) % 2;
                printText(which == 0 ? "AB" : "WX");
                ++prints;
                lostPrints += canvas.state()->x != (column - 1) * cw + widths[which] ? 1 : 0;
            }
            newLine();
        }
        canvas.state()->y = 0;  // back to the top; the next setColumn moves the DC there
    }
    printing = false;
    painter.join();
    EXPECT_EQ(lostPrints, 0) << "of " << prints << " prints";
    waitForKey(300, L"");  // the idle refresh puts the last drawings up
    const Snapshot memory = snapshot(canvas);
    ASSERT_FALSE(memory.pixels.empty());
    const Snapshot window = windowPixels(canvas.surface, memory.width, memory.height);
    EXPECT_TRUE(window == memory);
}

// ---- keys ----------------------------------------------------------------------------------------

TEST(WaitForKey, TakesKeysButNotTab) {
    Watchdog dog(60000);
    TestCanvas canvas(20, 4);
    ASSERT_NE(canvas.surface, nullptr);
    struct Case {
        const char* why;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::wstring expected;  // empty: ignored, the wait runs out
    };
    const Case cases[] = {
        {"a letter", WM_CHAR, 'q', keyParam(0x10), L"q"},
        {"a digit", WM_CHAR, '7', keyParam(0x08), L"7"},
        {"space", WM_CHAR, ' ', keyParam(0x39), L" "},
        {"Enter", WM_CHAR, '\r', keyParam(0x1C), L"\r"},
        {"Escape", WM_CHAR, 0x1B, keyParam(0x01), L"\x1B"},
        {"Tab", WM_CHAR, '\t', keyParam(0x0F), L""},
        {"Tab's key-down becomes Tab", WM_KEYDOWN, VK_TAB, keyParam(0x0F), L""},
        {"a letter's key-down becomes its character", WM_KEYDOWN, 'A', keyParam(0x1E), L"a"},
        {"Enter's key-down becomes its character", WM_KEYDOWN, VK_RETURN, keyParam(0x1C), L"\r"},
        {"keypad Enter arrives as a character", WM_KEYDOWN, VK_RETURN, keyParam(0x1C, true), L"\r"},
        {"F1", WM_KEYDOWN, VK_F1, keyParam(0x3B), std::wstring{L'\0', L'\x3B'}},
        {"F12", WM_KEYDOWN, VK_F12, keyParam(0x58), std::wstring{L'\0', L'\x58'}},
        {"cursor up", WM_KEYDOWN, VK_UP, keyParam(0x48, true), std::wstring{L'\0', L'\x48'}},
        {"cursor right", WM_KEYDOWN, VK_RIGHT, keyParam(0x4D, true), std::wstring{L'\0', L'\x4D'}},
        {"Page Down", WM_KEYDOWN, VK_NEXT, keyParam(0x51, true), std::wstring{L'\0', L'\x51'}},
        {"Alt+F10", WM_SYSKEYDOWN, VK_F10, keyParam(0x44, false, true), std::wstring{L'\0', L'\x44'}},
        {"Shift alone is no key", WM_KEYDOWN, VK_SHIFT, keyParam(0x2A), L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_TRUE(PostMessageW(canvas.surface, c.message, c.wParam, c.lParam));
        const DWORD limit = c.expected.empty() ? 300 : 10000;
        EXPECT_EQ(waitForKey(limit, L""), c.expected);
    }
    EXPECT_TRUE(IsWindow(canvas.frame)) << "waiting does not close the window";
}

TEST(WaitForKey, KeysOutsideTheAllowedListAreSkipped) {
    Watchdog dog(30000);
    TestCanvas canvas(20, 4);
    ASSERT_NE(canvas.surface, nullptr);
    struct Case {
        const char* why;
        std::wstring allowed;
        std::vector<Posted> keys;  // posted 150 ms apart while the wait runs
        std::wstring expected;
    };
    const Posted refusedX{WM_CHAR, 'x', keyParam(0x2D)};
    const Posted refusedN{WM_CHAR, 'n', keyParam(0x31)};
    const Posted f1{WM_KEYDOWN, VK_F1, keyParam(0x3B)};
    const Case cases[] = {
        {"a refused letter, then an allowed one", L"yn", {refusedX, refusedN}, L"n"},
        {"a refused letter, then F1", std::wstring{L'\0', L'\x3B'}, {refusedX, f1}, std::wstring{L'\0', L'\x3B'}},
        {"only refused keys: the time runs out", L"y", {refusedN, f1}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        DelayedPoster poster(canvas.surface, c.keys, 150);
        EXPECT_EQ(waitForKey(c.expected.empty() ? 800 : 10000, c.allowed), c.expected);
    }
}

TEST(WaitForKey, RunsOutAfterItsLimit) {
    Watchdog dog(30000);
    TestCanvas canvas(20, 4);
    ASSERT_NE(canvas.surface, nullptr);
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(waitForKey(250, L""), L"");
    EXPECT_GE(GetTickCount64() - started, 200u);  // not before its time (clock granularity allowed for)
}

// ---- closing ---------------------------------------------------------------------------------------

// Restored at a new size, the frame gets a backing bitmap of that size holding what
// fits of the old picture over the background; a minimise or an empty size changes nothing.
TEST(FrameSize, RestoredFrameKeepsWhatFitsOfThePicture) {
    Watchdog dog(60000);
    struct Row {
        const char* name;
        WPARAM kind;
        int width;
        int height;
        bool resized;
    };
    const Row rows[] = {
        {"larger", SIZE_RESTORED, 400, 150, true},
        {"smaller", SIZE_RESTORED, 50, 20, true},
        {"minimised", SIZE_MINIMIZED, 400, 150, false},
        {"no width", SIZE_RESTORED, 0, 150, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestCanvas canvas(20, 4);
        ASSERT_NE(canvas.surface, nullptr);
        const int oldWidth = canvas.state()->width;
        const int oldHeight = canvas.state()->height;
        const HBITMAP oldBitmap = canvas.state()->backingBitmap;
        const int cw = canvas.state()->averageCharWidth;
        const int lh = canvas.state()->lineHeight;
        printText("HELLO");
        SendMessageW(canvas.frame, WM_SIZE, row.kind, MAKELPARAM(row.width, row.height));
        const TestCanvas::HeldState state = canvas.state();
        const int width = row.resized ? row.width : oldWidth;
        const int height = row.resized ? row.height : oldHeight;
        EXPECT_EQ(state->width, width);
        EXPECT_EQ(state->height, height);
        EXPECT_EQ(state->backingBitmap != oldBitmap, row.resized);
        EXPECT_EQ(GetObjectType(state->backingBitmap), static_cast<DWORD>(OBJ_BITMAP));
        const Snapshot shot = snapshot(canvas);
        ASSERT_EQ(shot.width, width);
        EXPECT_TRUE(hasInk(shot, 0, 0, std::min(width, cw), std::min(height, lh))) << "the first letter is kept";
        EXPECT_FALSE(hasInk(shot, oldWidth, 0, width, height)) << "the new columns are background";
        EXPECT_FALSE(hasInk(shot, 0, oldHeight, width, height)) << "the new rows are background";
        EXPECT_FALSE(hasInk(shot, 0, lh, width, height)) << "nothing below the row";
        // Printing goes on into the new bitmap.
        newLine();
        printText("W");
        if (height >= 2 * lh) {
            EXPECT_TRUE(hasInk(snapshot(canvas), 0, lh, cw, 2 * lh)) << "the next row is drawn";
        }
    }
}

TEST(CloseByUser, EndsTheWaitWithTheEmptyText) {
    Watchdog dog(30000);
    const int records = recordCount();
    const int threads = processThreads();
    struct Case {
        const char* why;
        DWORD delayMs;  // after the wait began; 0: before it
    };
    const Case cases[] = {
        {"closed before the wait", 0},
        {"closed while the wait runs", 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TestCanvas canvas(20, 4, CANVAS_CELLS | CANVAS_SHOW);
        ASSERT_NE(canvas.frame, nullptr);
        HWND frame = canvas.frame;
        {
            const Posted close{WM_SYSCOMMAND, SC_CLOSE, 0};
            if (c.delayMs == 0) {
                PostMessageW(frame, close.message, close.wParam, close.lParam);
            }
            DelayedPoster closer(frame, c.delayMs == 0 ? std::vector<Posted>{} : std::vector<Posted>{close}, c.delayMs);
            EXPECT_EQ(waitForKey(0, L""), L"");
        }
        // The wait ends as soon as the close begins; the canvas thread may still be
        // destroying the window, and closing it again must neither hang nor fail.
        closeCanvasWindow(nullptr);
        EXPECT_TRUE(goneWithin(frame, 10000));
        closeCanvasWindow(nullptr);  // closed already: nothing happens
    }
    EXPECT_EQ(recordCount(), records);
    EXPECT_LE(threadsSettledTo(threads), threads) << "each canvas thread ends with its window";
}

TEST(CloseCanvasWindow, CurrentCanvasDependsOnTheHandleGiven) {
    Watchdog dog(30000);
    enum class Given { Zero, Frame, Surface };
    struct Case {
        const char* why;
        Given given;
        bool stillCurrent;
    };
    const Case cases[] = {
        {"0 leaves the closed surface current", Given::Zero, true},
        {"a frame handle leaves it current", Given::Frame, true},
        {"the surface's own handle clears it", Given::Surface, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TestCanvas canvas(20, 4);
        ASSERT_NE(canvas.surface, nullptr);
        const HWND surface = canvas.surface;
        closeCanvasWindow(c.given == Given::Zero ? nullptr : c.given == Given::Frame ? canvas.frame : surface);
        EXPECT_FALSE(IsWindow(canvas.frame));
        EXPECT_EQ(threadRecord().currentCanvas, c.stillCurrent ? surface : nullptr);
        printText("after");  // the closed surface: nothing happens
        newLine();
        EXPECT_EQ(waitForKey(0, L""), L"");
    }
}

TEST(CloseCanvasWindow, NewWindowBecomesCurrentOnlyOnceSelectCanvasClearedTheOld) {
    Watchdog dog(30000);
    clearCurrentCanvas();
    HWND first = createCanvasWindow("first", 40, 40, 10, 3, CANVAS_CELLS | CANVAS_SHOW, 0, 0);
    ASSERT_NE(first, nullptr);
    const HWND firstSurface = GetDlgItem(first, 0);
    EXPECT_EQ(threadRecord().currentCanvas, firstSurface);
    closeCanvasWindow(nullptr);
    EXPECT_EQ(threadRecord().currentCanvas, firstSurface);

    HWND second = createCanvasWindow("second", 40, 40, 10, 3, CANVAS_CELLS | CANVAS_SHOW, 0, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(threadRecord().currentCanvas, firstSurface) << "the stale surface is still current";
    {
        ErrorSlot slot;
        selectCanvas(second, 7, false);  // no control 7, and the frame is no surface
        EXPECT_EQ(slot.code(), 5);
    }
    EXPECT_EQ(threadRecord().currentCanvas, nullptr);
    HWND third = createCanvasWindow("third", 40, 40, 10, 3, CANVAS_CELLS | CANVAS_SHOW, 0, 0);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(threadRecord().currentCanvas, GetDlgItem(third, 0));
    closeCanvasWindow(second);
    closeCanvasWindow(third);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(IsWindow(third));
    clearCurrentCanvas();
}

TEST(SelectCanvas, AcceptsOnlyCanvasSurfaces) {
    Watchdog dog(30000);
    TestCanvas canvas(10, 3);
    ASSERT_NE(canvas.surface, nullptr);
    HWND plain = CreateWindowExW(0, L"STATIC", L"plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(plain, nullptr);
    struct Case {
        const char* why;
        HWND parent;
        int canvas;
        bool selected;
    };
    const Case cases[] = {
        {"a canvas frame and control 0 name its surface", canvas.frame, 0, true},
        {"the surface itself", canvas.surface, 0, true},
        {"a window without a record", plain, 0, false},
        {"no window at all", nullptr, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ErrorSlot slot;
        selectCanvas(c.parent, c.canvas, false);
        EXPECT_EQ(slot.code(), c.selected ? 0 : 5);
        EXPECT_EQ(threadRecord().currentCanvas, c.selected ? canvas.surface : nullptr);
    }
    DestroyWindow(plain);
}

// ---- resources -------------------------------------------------------------------------------------

TEST(CanvasResources, EveryObjectIsReleasedWithItsWindow) {
    Watchdog dog(120000);
    {
        // Class registration, the realised font and what the system makes for the first
        // shown window stay for the process.
        TestCanvas warmUp(10, 3, CANVAS_CELLS | CANVAS_SHOW);
        printText("warm-up");
        waitForKey(100, L"");
    }
    const ObjectCounts before;
    for (int cycle = 0; cycle < 30; ++cycle) {
        SCOPED_TRACE(cycle);
        HDC memoryDc = nullptr;
        HBITMAP bitmap = nullptr;
        HBRUSH brush = nullptr;
        {
            // Every fifth one shown: showing and painting must not hold on to anything either.
            TestCanvas canvas(30, 5, cycle % 5 == 0 ? CANVAS_CELLS | CANVAS_SHOW : CANVAS_CELLS);
            ASSERT_NE(canvas.surface, nullptr);
            memoryDc = canvas.state()->memoryDc;
            bitmap = canvas.state()->backingBitmap;
            brush = LockedRecord(canvas.surface)->backgroundBrush;
            EXPECT_EQ(GetObjectType(memoryDc), static_cast<DWORD>(OBJ_MEMDC));
            EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
            EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
            printText("cycle");
            newLine();
        }
        // The handles may be reused by the next cycle, so look at them at once. The
        // brush goes too: no other record here shares its colour.
        EXPECT_EQ(GetObjectType(memoryDc), 0u);
        EXPECT_EQ(GetObjectType(bitmap), 0u);
        EXPECT_EQ(GetObjectType(brush), 0u);
    }
    expectObjectsAsBefore(before, "30 canvas windows");
}

}  // namespace
}  // namespace roi
