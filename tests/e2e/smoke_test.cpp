// The short run of roicalc.exe that the test command makes of every build, also where
// the 32-bit build runs under a CPU emulator: one start in a fresh directory, the
// first-run notice, one CALCULATE with the README's example, the cells and the file's
// bytes, and a close with exit code 0. Under emulation a process needs about a minute
// to start and new code paths take seconds on first use, so every wait here is long;
// on a normal machine each returns as soon as its condition holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/app_driver.h"

namespace roi_test::e2e {
namespace {

constexpr DWORD START_MS = 240000;  // the notice may take this long to appear
constexpr DWORD SLOW_MS = 120000;   // any later step

struct Cell {
    int id;
    const wchar_t* typed;  // nullptr: an output cell
    const wchar_t* first;  // after the notice
    const wchar_t* after;  // after CALCULATE
};

// 150 won on 100 bet, 3 winners of 10 bets, a starting bankroll of 1000.
const std::vector<Cell>& readmeExample() {
    static const std::vector<Cell> cells = {
        {1001, L"150", L"", L"150"},
        {1002, L"100", L"", L"100"},
        {1003, L"10", L"", L"10"},
        {1004, L"3", L"", L"3"},
        {1024, L"1000", L"$        0.00", L"$    1,000.00"},
        {1025, nullptr, L"$        0.00", L"$    1,050.00"},
        {1011, nullptr, L"", L"$   1.50"},
        {1015, nullptr, L"", L" 30.00%"},
        {1018, nullptr, L"", L"$   50.00"},
    };
    return cells;
}

// The program's thread answers a message only once it is back in its message loop.
bool waitUntilIdle(HWND window) {
    return waitUntil([&] { return sendTimed(window, WM_NULL, 0, 0); }, SLOW_MS);
}

void expectShown(HWND main, bool afterCalculate) {
    for (const Cell& cell : readmeExample()) {
        SCOPED_TRACE("cell " + std::to_string(cell.id));
        std::optional<std::wstring> text;
        ASSERT_TRUE(waitUntil([&] { return (text = cellText(main, cell.id)).has_value(); }, SLOW_MS))
            << "the cell did not answer WM_GETTEXT";
        EXPECT_EQ(narrow(*text), narrow(afterCalculate ? cell.after : cell.first));
    }
}

void expectFileBytes(const TempDir& dir, const std::string& expected) {
    const std::optional<std::string> bytes = readBytes(dir.wideFile(L"bankroll.roi"));
    ASSERT_TRUE(bytes.has_value()) << "bankroll.roi cannot be read";
    EXPECT_EQ(hexBytes(*bytes), hexBytes(expected));
}

TEST(Smoke, FirstRunThenOneCalculateOfTheReadmeExample) {
    TempDir dir;
    ASSERT_TRUE(dir.created());
    App app(dir.wide());
    ASSERT_TRUE(app.start()) << "CreateProcessW failed, error " << GetLastError();

    HWND box = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (box = findAnyMessageBox(app.pid())) != nullptr || !app.running(); }, START_MS) && box)
        << "no first-run notice; windows:\n"
        << describeWindows(app.pid());
    const BoxContent content = readMessageBox(box);
    EXPECT_EQ(content.texts, std::vector<std::wstring>{NOTICE_TEXT});
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }, SLOW_MS)) << "the notice did not close";

    HWND main = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (main = findMainWindow(app.pid())) != nullptr; }, SLOW_MS))
        << "no main window; windows:\n"
        << describeWindows(app.pid());
    ASSERT_TRUE(waitUntilIdle(main));
    {
        SCOPED_TRACE("first start");
        expectShown(main, false);
        expectFileBytes(dir, std::string("\"0\"\r\n\"0\"\r\n"));
    }

    for (const Cell& cell : readmeExample()) {
        if (cell.typed) {
            ASSERT_TRUE(waitUntil([&] { return setCellText(main, cell.id, cell.typed); }, SLOW_MS));
        }
    }
    // A send that times out is still delivered; the idle wait then covers the rest.
    pressButton(main, 1009);
    ASSERT_TRUE(waitUntilIdle(main)) << "CALCULATE did not return";
    {
        SCOPED_TRACE("after CALCULATE");
        expectShown(main, true);
        expectFileBytes(dir, std::string("\"1000\"\r\n\"1050\"\r\n"));
        EXPECT_EQ(findAnyMessageBox(app.pid()), nullptr) << "a box appeared during a save that worked";
    }

    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    const std::optional<DWORD> code = app.waitForExit(SLOW_MS);
    ASSERT_TRUE(code.has_value()) << "the program did not end; windows:\n" << describeWindows(app.pid());
    EXPECT_EQ(*code, 0u);
}

}  // namespace
}  // namespace roi_test::e2e
