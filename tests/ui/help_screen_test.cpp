// The help screen under Wine. The test thread plays the main window's thread: it
// calls showHelpScreen, which waits; a second thread acts as the user, looking at the
// help window, reading its pixels and pressing keys. A watchdog bounds every test.
#include "ui/help_screen.h"

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
#include "ui/canvas_window.h"
#include "ui/window_records.h"

namespace roi {
namespace {

using namespace roi_test;

// ---- a stand-in for the main window ------------------------------------------------------

// Counts the messages it gets while a help screen waits; WM_APP + 1 presses "?" again.
constexpr UINT COUNT_ME = WM_APP;
constexpr UINT PRESS_HELP = WM_APP + 1;
std::atomic<int> countedMessages{0};
std::atomic<int> nestedShowings{0};

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == COUNT_ME) {
        ++countedMessages;
        return 0;
    }
    if (message == PRESS_HELP) {
        showHelpScreen(window);
        ++nestedShowings;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND standIn = nullptr;

class HelpEnvironment : public testing::Environment {
public:
    void SetUp() override {
        threadRecord();  // the test thread is the main thread
        createDefaultFonts();
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = standInProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"HelpTestMain";
        RegisterClassExW(&windowClass);
        standIn = CreateWindowExW(0, L"HelpTestMain", L"main", WS_OVERLAPPEDWINDOW, 300, 300, 200, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    void TearDown() override { DestroyWindow(standIn); }
};
const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new HelpEnvironment);

// ---- looking at help windows from the user's thread ------------------------------------------

// A named CALLBACK: a lambda has the wrong calling convention on 32-bit Windows.
BOOL CALLBACK collectHelpFrame(HWND window, LPARAM found) {
    wchar_t name[32] = {};
    if (GetClassNameW(window, name, 32) > 0 && std::wstring(name) == CANVAS_CLASS) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

std::vector<HWND> helpFrames() {
    std::vector<HWND> frames;
    EnumWindows(collectHelpFrame, reinterpret_cast<LPARAM>(&frames));
    return frames;
}

// A help frame that is not in known, once one appears; null after limitMs.
HWND newHelpFrame(const std::vector<HWND>& known, DWORD limitMs = 15000) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    while (GetTickCount64() < end) {
        for (HWND frame : helpFrames()) {
            if (std::find(known.begin(), known.end(), frame) == known.end() && GetDlgItem(frame, 0) != nullptr) {
                return frame;
            }
        }
        Sleep(10);
    }
    return nullptr;
}

// The surface's backing bitmap, read from the user's thread while the help screen waits.
Snapshot bitmapOf(HWND frame) {
    return bitmapPixels(GetDlgItem(frame, 0));
}

// Waits until the last line (row 47) is on the bitmap and nothing changes any more.
bool printedWithin(HWND frame, DWORD limitMs) {
    const Cell cell = fontOneCell();
    const ULONGLONG end = GetTickCount64() + limitMs;
    Snapshot previous;
    while (GetTickCount64() < end) {
        Snapshot now = bitmapOf(frame);
        if (!now.pixels.empty() && hasInk(now, 0, 46 * cell.height, now.width, 47 * cell.height) && now == previous) {
            return true;
        }
        previous = std::move(now);
        Sleep(50);
    }
    return false;
}

void pressKey(HWND frame, WPARAM character = 'x') {
    PostMessageW(GetDlgItem(frame, 0), WM_CHAR, character, 1 | (0x2D << 16));
}

void clickClose(HWND frame) {
    PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Runs the user's part on its own thread while the test thread shows the help screen.
// Whatever happens, the user finally dismisses every help window, so showHelpScreen returns.
class User {
public:
    template <typename Script>
    explicit User(Script script)
        : thread_([this, script] {
              script();
              for (int i = 0; i < 100 && !helpFrames().empty(); ++i) {
                  for (HWND frame : helpFrames()) {
                      pressKey(frame);
                  }
                  Sleep(100);
              }
          }) {}
    ~User() { thread_.join(); }
    User(const User&) = delete;
    User& operator=(const User&) = delete;

private:
    std::thread thread_;
};

// ---- the text --------------------------------------------------------------------------------

TEST(HelpText, LinesSitOnTheirRowsWithTheirExactLengths) {
    // Row and length of each line as the help page lays them out.
    struct Expected {
        int row;
        std::size_t length;
    };
    const Expected expected[] = {
        {2, 81},  {4, 82},  {5, 82},  {7, 92},  {9, 83},  {10, 87}, {11, 64}, {13, 84}, {14, 44}, {16, 79}, {18, 57},
        {19, 84}, {20, 63}, {22, 55}, {23, 88}, {24, 63}, {26, 87}, {28, 86}, {29, 90}, {31, 85}, {33, 71}, {35, 71},
        {37, 77}, {38, 81}, {39, 49}, {40, 75}, {41, 75}, {42, 21}, {44, 70}, {45, 70}, {46, 22}, {47, 73},
    };
    ASSERT_EQ(std::size(expected), HELP_LINES.size());
    for (std::size_t i = 0; i < HELP_LINES.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(HELP_LINES[i].row, expected[i].row);
        EXPECT_EQ(HELP_LINES[i].text.size(), expected[i].length);
    }
}

TEST(HelpText, KeepsItsDoubledAndTrailingBlanksAndSpelling) {
    struct Case {
        const char* why;
        std::size_t line;  // 1-based
        std::string_view text;
    };
    const Case cases[] = {
        {"doubled blank after a full stop", 8,
         "TOTAL AMOUNT WON IS THE SUM OF ALL YOUR WINNINGS.  DO NOT USE NEGATIVE NUMBERS HERE."},
        {"trailing blank", 12, "IF YOU MAKE MULTIPLE BETS IN A RACE, COUNT EACH BET IF THE WINNINGS ARE INCLUDED IN "},
        {"trailing blank", 15,
         "IF YOU MAKE MULTIPLE BETS IN A RACE, COUNT EACH BET WON IF THE WINNINGS ARE INCLUDED IN "},
        {"lines 13 and 16 are the same", 16, HELP_LINES[12].text},
        {"SESSON as it stands", 17,
         "THE NUMBER OF BETS MADE AND NUMBER OF BETS WON ARE JUST FOR THIS ONE PARTICULAR SESSON."},
        {"W0N with a zero", 18,
         "IF YOU HAVE NOT KEPT A RECORD OF THE NUMBER OF BETS MADE AND/OR THE NUMBER OF BETS W0N"},
        {"doubled blank and lower-case file name", 30,
         "CALLED bankroll.roi.  IF IT DOES NOT EXIST, THE PROGRAM WILL CREATE A "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(HELP_LINES[c.line - 1].text, c.text);
    }
}

TEST(HelpText, CaptionHasFortyTwoBlanksBeforeTheAddress) {
    const std::string caption = HELP_CAPTION;
    const std::string title = "Quillmarsh ROI CALCULATOR HELP SCREEN";
    ASSERT_EQ(caption.substr(0, title.size()), title);
    const std::size_t address = caption.find_first_not_of(' ', title.size());
    ASSERT_NE(address, std::string::npos);
    EXPECT_EQ(address - title.size(), 42u);
    EXPECT_EQ(caption.substr(address), "www.quillmarsh.example");
}

// ---- the window ------------------------------------------------------------------------------

// Ink exactly on the listed rows; each line starts in column 5 and ends where its text
// does, or at the right edge when it is too long.
void expectEachLineOnItsRowFromColumnFive(const Snapshot& shot, const Cell& cell) {
    for (int row = 1; row <= 60; ++row) {
        SCOPED_TRACE(row);
        const int top = (row - 1) * cell.height;
        const int bottom = row * cell.height;
        const auto line = std::find_if(HELP_LINES.begin(), HELP_LINES.end(),
                                       [row](const HelpLine& candidate) { return candidate.row == row; });
        if (line == HELP_LINES.end()) {
            EXPECT_FALSE(hasInk(shot, 0, top, shot.width, bottom));
            continue;
        }
        EXPECT_FALSE(hasInk(shot, 0, top, 4 * cell.width, bottom)) << "columns 1 to 4 stay empty";
        EXPECT_TRUE(hasInk(shot, 4 * cell.width, top, 5 * cell.width, bottom)) << "column 5 has the first letter";
        std::string_view text = line->text;
        text = text.substr(0, text.find_last_not_of(' ') + 1);
        const int end = std::min(4 * cell.width + textWidth(std::wstring(text.begin(), text.end())), shot.width);
        EXPECT_FALSE(hasInk(shot, end + 1, top, shot.width, bottom)) << "nothing after the text";
        EXPECT_TRUE(hasInk(shot, end - 2 * cell.width, top, end + 1, bottom)) << "ink up to the text's end";
    }
}

TEST(ShowHelpScreen, OpensItsWindowAndPrintsFromRowTwoColumnFive) {
    Watchdog dog(60000);
    const Cell cell = fontOneCell();
    HWND frame = nullptr;
    bool printed = false;
    Snapshot shot;
    Snapshot onScreen;
    RECT outer = {};
    RECT client = {};
    std::wstring caption;
    bool visible = false;
    {
        User user([&] {
            frame = newHelpFrame({});
            if (frame == nullptr) {
                return;
            }
            printed = printedWithin(frame, 15000);
            shot = bitmapOf(frame);
            // The idle refresh brings the window up to the bitmap: waited for, 2 s at most.
            for (int i = 0; i < 200 && (onScreen = windowPixels(GetDlgItem(frame, 0), shot.width, shot.height)) != shot;
                 ++i) {
                Sleep(10);
            }
            GetWindowRect(frame, &outer);
            GetClientRect(frame, &client);
            wchar_t text[200] = {};
            GetWindowTextW(frame, text, 200);
            caption = text;
            visible = IsWindowVisible(frame) != FALSE;
            pressKey(frame);
        });
        showHelpScreen(standIn);
    }
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(printed);
    EXPECT_TRUE(goneWithin(frame, 10000)) << "the key closed it";
    EXPECT_EQ(caption, L"Quillmarsh ROI CALCULATOR HELP SCREEN" + std::wstring(42, L' ') + L"www.quillmarsh.example");
    EXPECT_TRUE(visible);
    EXPECT_EQ(outer.left, 30);
    EXPECT_EQ(outer.top, 10);
    EXPECT_EQ(client.right - client.left, 135 * cell.width);
    EXPECT_EQ(client.bottom - client.top, 60 * cell.height);
    ASSERT_EQ(shot.width, 135 * cell.width);
    ASSERT_EQ(shot.height, 60 * cell.height);
    EXPECT_TRUE(onScreen == shot) << "the window shows the bitmap";
    expectEachLineOnItsRowFromColumnFive(shot, cell);
}

TEST(ShowHelpScreen, AnyKeyOrTheCloseBoxDismissesIt) {
    Watchdog dog(120000);
    enum class Dismiss { Character, FunctionKey, Escape, CloseBox };
    struct Case {
        const char* why;
        Dismiss how;
    };
    const Case cases[] = {
        {"a letter", Dismiss::Character},
        {"F1", Dismiss::FunctionKey},
        {"Escape", Dismiss::Escape},
        {"the close box", Dismiss::CloseBox},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        HWND frame = nullptr;
        {
            User user([&] {
                frame = newHelpFrame({});
                if (frame == nullptr || !printedWithin(frame, 15000)) {
                    return;
                }
                HWND surface = GetDlgItem(frame, 0);
                switch (c.how) {
                case Dismiss::Character:
                    pressKey(frame, 'k');
                    break;
                case Dismiss::FunctionKey:
                    PostMessageW(surface, WM_KEYDOWN, VK_F1, 1 | (0x3B << 16));
                    break;
                case Dismiss::Escape:
                    PostMessageW(surface, WM_KEYDOWN, VK_ESCAPE, 1 | (0x01 << 16));
                    break;
                case Dismiss::CloseBox:
                    clickClose(frame);
                    break;
                }
                goneWithin(frame, 10000);
            });
            showHelpScreen(standIn);
        }
        ASSERT_NE(frame, nullptr);
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_TRUE(helpFrames().empty());
    }
}

TEST(ShowHelpScreen, ShowingItAgainPrintsTheWholeTextIntoANewWindow) {
    Watchdog dog(60000);
    const Cell cell = fontOneCell();
    HWND frames[2] = {nullptr, nullptr};
    bool secondRowTwo = false;
    for (HWND& frame : frames) {
        User user([&] {
            frame = newHelpFrame({});
            if (frame != nullptr && printedWithin(frame, 15000)) {
                const Snapshot shot = bitmapOf(frame);
                secondRowTwo = hasInk(shot, 4 * cell.width, cell.height, 5 * cell.width, 2 * cell.height);
                pressKey(frame);
            }
        });
        showHelpScreen(standIn);
    }
    ASSERT_NE(frames[0], nullptr);
    ASSERT_NE(frames[1], nullptr);
    EXPECT_NE(frames[0], frames[1]);
    EXPECT_TRUE(secondRowTwo) << "the second window got the text, not the closed first one";
    EXPECT_TRUE(helpFrames().empty());
}

TEST(ShowHelpScreen, MainWindowStaysUsableWhileItWaits) {
    Watchdog dog(60000);
    const int before = countedMessages.load();
    bool enabled = false;
    int counted = 0;
    {
        User user([&] {
            HWND frame = newHelpFrame({});
            if (frame == nullptr) {
                return;
            }
            enabled = IsWindowEnabled(standIn) != FALSE;
            for (int i = 0; i < 3; ++i) {
                PostMessageW(standIn, COUNT_ME, 0, 0);
            }
            SendMessageTimeoutW(standIn, COUNT_ME, 0, 0, SMTO_NORMAL, 5000, nullptr);
            for (int i = 0; i < 200 && countedMessages.load() - before < 4; ++i) {
                Sleep(10);
            }
            counted = countedMessages.load() - before;
            pressKey(frame);
        });
        showHelpScreen(standIn);
    }
    EXPECT_TRUE(enabled);
    EXPECT_EQ(counted, 4) << "posted and sent messages reach the main window during the wait";
}

// One of the two windows of a nested showing, closed by a key or its close box.
enum class Which { Outer, Inner };
enum class How { Key, CloseBox };
struct Action {
    Which which;
    How how;
};

// The user's part: closes the window action names; true once it has gone.
bool closeByAction(const Action& action, HWND outer, HWND inner) {
    HWND target = action.which == Which::Outer ? outer : inner;
    if (action.how == How::Key) {
        pressKey(target);
    } else {
        clickClose(target);
    }
    return goneWithin(target, 10000);
}

// "?" pressed again while a help screen waits: the second showing runs inside the first
// one's wait. Each window closes on its own key or close box, in either order.
TEST(ShowHelpScreen, NestedShowingsEachCloseTheirOwnWindow) {
    Watchdog dog(180000);
    struct Case {
        const char* why;
        Action first;
        Action second;
    };
    const Case cases[] = {
        {"inner key, then outer key", {Which::Inner, How::Key}, {Which::Outer, How::Key}},
        {"outer key first: it closes at once, the inner stays", {Which::Outer, How::Key}, {Which::Inner, How::Key}},
        {"outer close box first, then inner key", {Which::Outer, How::CloseBox}, {Which::Inner, How::Key}},
        {"inner close box, then outer key", {Which::Inner, How::CloseBox}, {Which::Outer, How::Key}},
        {"both close boxes, outer first", {Which::Outer, How::CloseBox}, {Which::Inner, How::CloseBox}},
    };
    const int records = recordCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const int nestedBefore = nestedShowings.load();
        HWND outer = nullptr;
        HWND inner = nullptr;
        bool firstGone = false;
        bool otherStayed = false;
        bool secondGone = false;
        {
            User user([&] {
                outer = newHelpFrame({});
                if (outer == nullptr || !printedWithin(outer, 15000)) {
                    return;
                }
                PostMessageW(standIn, PRESS_HELP, 0, 0);
                inner = newHelpFrame({outer});
                if (inner == nullptr || !printedWithin(inner, 15000)) {
                    return;
                }
                firstGone = closeByAction(c.first, outer, inner);
                otherStayed = IsWindow(c.first.which == Which::Outer ? inner : outer) != FALSE;
                secondGone = closeByAction(c.second, outer, inner);
            });
            showHelpScreen(standIn);
        }
        ASSERT_NE(outer, nullptr);
        ASSERT_NE(inner, nullptr);
        EXPECT_TRUE(firstGone);
        EXPECT_TRUE(otherStayed);
        EXPECT_TRUE(secondGone);
        EXPECT_EQ(nestedShowings.load(), nestedBefore + 1) << "the inner showing returned";
        EXPECT_TRUE(helpFrames().empty()) << "no help window is left behind";
    }
    EXPECT_EQ(recordCount(), records);
}

TEST(ShowHelpScreen, HundredShowingsLeaveNoObjectBehind) {
    Watchdog dog(540000);
    auto showOnce = [] {
        User user([] {
            HWND frame = newHelpFrame({});
            if (frame != nullptr) {
                pressKey(frame);
                goneWithin(frame, 10000);
            }
        });
        showHelpScreen(standIn);
    };
    showOnce();  // the window class and the realised font stay for the process
    const ObjectCounts before;
    for (int cycle = 0; cycle < 100; ++cycle) {
        showOnce();
    }
    expectObjectsAsBefore(before, "100 help screens");
    EXPECT_TRUE(helpFrames().empty());
}

}  // namespace
}  // namespace roi
