// Whole text at the display's scale: every control of the real MainDialog, measured
// with its own font against the room it gives its text, the widest results a CALCULATE
// can show, the faces the fonts really get, and the help screen's lines in their window.
// The program runs at whatever DPI the Wine prefix is set to; the test command runs this
// program at 96, 120, 144 and 192 DPI (ROI_EXPECTED_DPI names the one a run must see).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/runtime.h"
#include "core/number_text.h"
#include "core/picture_mask.h"
#include "core/session.h"
#include "tests/support/program_environment.h"
#include "tests/support/temp_dir.h"
#include "ui/canvas_window.h"
#include "ui/dialog_engine.h"
#include "ui/help_screen.h"
#include "ui/main_window.h"
#include "ui/font_table.h"

namespace roi {
namespace {

using namespace std::chrono_literals;

// A text as a control draws it: the advance width GetTextExtentPoint32W gives in the
// control's own font, and the rows from the top of the line to its lowest inked pixel
// (a font's cell often has blank rows below the ink, which a control may clip unseen).
struct Ink {
    int width = 0;
    int height = 0;
};

// The lowest inked row + 1 of text drawn at the top of a white bitmap in dc's font.
int inkedRows(HDC reference, const std::wstring& text, int width, int lineHeight) {
    HDC dc = CreateCompatibleDC(reference);
    if (dc == nullptr) {
        return lineHeight;  // cannot tell: the whole line counts
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width + 2 * lineHeight;  // room for overhangs on both sides
    info.bmiHeader.biHeight = -2 * lineHeight;        // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    int rows = lineHeight;
    if (bitmap != nullptr && bits != nullptr) {
        const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        const HGDIOBJ oldFont = SelectObject(dc, GetCurrentObject(reference, OBJ_FONT));
        PatBlt(dc, 0, 0, info.bmiHeader.biWidth, 2 * lineHeight, WHITENESS);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, lineHeight, 0, text.c_str(), static_cast<int>(text.size()));
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);
        rows = 0;
        for (int y = 0; y < 2 * lineHeight; ++y) {
            for (int x = 0; x < info.bmiHeader.biWidth; ++x) {
                if ((pixels[y * info.bmiHeader.biWidth + x] & 0xFFFFFF) != 0xFFFFFF) {
                    rows = y + 1;
                    break;
                }
            }
        }
        SelectObject(dc, oldFont);
        SelectObject(dc, oldBitmap);
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    return rows;
}

Ink inkOf(HDC dc, HFONT font, const std::wstring& text) {
    // A control without a font of its own draws with the system font.
    const HGDIOBJ previous = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    Ink ink;
    ink.width = size.cx;
    ink.height = inkedRows(dc, text, size.cx, metrics.tmHeight);
    SelectObject(dc, previous);
    return ink;
}

Ink inkOf(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    if (dc == nullptr) {
        return Ink{};
    }
    const Ink ink = inkOf(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), text);
    ReleaseDC(control, dc);
    return ink;
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool isClass(HWND window, const wchar_t* name) {
    return lstrcmpiW(className(window).c_str(), name) == 0;
}

// The room a control gives its text, in pixels: an edit cell's formatting rectangle;
// a label's client area; a push button's client area inside its 3D edge and the focus
// rectangle drawn within it; a group box's caption runs from a small indent to the far
// frame line. Zero width means the control shows no text (the badges).
struct Room {
    int width = 0;
    int height = 0;
};

Room roomOf(HWND control) {
    RECT client = {};
    GetClientRect(control, &client);
    const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    if (isClass(control, L"Edit")) {
        RECT format = {};
        SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        return Room{format.right - format.left, format.bottom - format.top};
    }
    if (isClass(control, L"Static")) {
        if ((style & SS_TYPEMASK) == SS_BITMAP || (style & SS_TYPEMASK) == SS_ICON) {
            return Room{};
        }
        return Room{client.right, client.bottom};
    }
    if (isClass(control, L"Button")) {
        const int edgeX = GetSystemMetrics(SM_CXEDGE);
        const int edgeY = GetSystemMetrics(SM_CYEDGE);
        if ((style & BS_TYPEMASK) == BS_GROUPBOX) {
            const Ink letter = inkOf(control, L"M");
            return Room{client.right - 2 * (edgeX + letter.width), client.bottom};
        }
        return Room{client.right - 2 * (edgeX + 1), client.bottom - 2 * (edgeY + 1)};
    }
    return Room{};
}

// How one text sits in one control.
struct Fit {
    int id = 0;
    std::wstring text;
    Ink ink;
    Room room;
    bool wholeWidth = true;  // false for input cells, which scroll sideways
    int spare() const {
        const int high = room.height - ink.height;
        return wholeWidth ? std::min(room.width - ink.width, high) : high;
    }
};

using roi_test::narrow;

std::string describe(const Fit& fit) {
    char line[256];
    std::snprintf(line, sizeof line, "control %d \"%s\": text %dx%d px in %dx%d px, missing %d px wide, %d px high",
                  fit.id, narrow(fit.text).c_str(), fit.ink.width, fit.ink.height, fit.room.width, fit.room.height,
                  fit.wholeWidth ? std::max(0, fit.ink.width - fit.room.width) : 0,
                  std::max(0, fit.ink.height - fit.room.height));
    return line;
}

void expectWhole(const Fit& fit) {
    if (fit.wholeWidth) {
        EXPECT_LE(fit.ink.width, fit.room.width) << describe(fit);
    }
    EXPECT_LE(fit.ink.height, fit.room.height) << describe(fit);
}

int screenDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
}

// ---- the masks' widest texts ----------------------------------------------------------

// Which mask each result and bankroll cell shows its value through.
struct MaskedCell {
    int id;
    const char* mask;
};
constexpr MaskedCell MASKED_CELLS[] = {
    {ID_ROI, ROI_MASK},
    {ID_WIN_PERCENT, WIN_PERCENT_MASK},
    {ID_AVERAGE_MUTUEL, AVERAGE_MUTUEL_MASK},
    {ID_STARTING_BANKROLL, BANKROLL_MASK},
    {ID_ENDING_BANKROLL, BANKROLL_MASK},
};

// The widest text (in control's font) that mask produces at its own width, the width
// of the text it gives 0. Digits may differ in width, so every leading digit is tried
// with every digit repeated behind it, for each number of integer digits, both signs.
std::wstring widestMaskText(HWND control, const char* mask) {
    const std::size_t maskWidth = formatWithMask(mask, 0.0L).size();
    HDC dc = GetDC(control);
    if (dc == nullptr) {
        return L"";
    }
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    std::wstring widest;
    LONG widestWidth = -1;
    for (int integers = 1; integers <= 10; ++integers) {
        for (int lead = 1; lead <= 9; ++lead) {
            for (int rest = 0; rest <= 9; ++rest) {
                std::string digits(1, static_cast<char>('0' + lead));
                digits.append(static_cast<std::size_t>(integers - 1), static_cast<char>('0' + rest));
                digits += '.';
                digits.append(2, static_cast<char>('0' + rest));
                for (const char* sign : {"", "-"}) {
                    const std::string text = formatWithMask(mask, parseNumber(sign + digits));
                    if (text.size() != maskWidth) {
                        continue;  // wider than the mask: the cell was never meant to hold it
                    }
                    const std::wstring wide = roi_test::widen(text);
                    SIZE size = {};
                    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
                    if (size.cx > widestWidth) {
                        widestWidth = size.cx;
                        widest = wide;
                    }
                }
            }
        }
    }
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return widest;
}

// ---- the real window ------------------------------------------------------------------

[[maybe_unused]] const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new roi_test::ProgramEnvironment("text_fit_test", 120s));

class TextFitTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        previous_ = previous;
        ASSERT_TRUE(directory_.created());
        ASSERT_TRUE(SetCurrentDirectoryW(directory_.wide().c_str()));
        // A bankroll file exists, so building shows no creation notice.
        HANDLE file = CreateFileW(L"bankroll.roi", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const char zeros[] = "\"0\"\r\n\"0\"\r\n";
        DWORD written = 0;
        WriteFile(file, zeros, sizeof zeros - 1, &written, nullptr);
        CloseHandle(file);
        session() = SessionValues{};
        window_ = buildMainWindow(nullptr);
        ASSERT_NE(window_.dialog, nullptr);
    }
    void TearDown() override {
        if (window_.dialog != nullptr && IsWindow(window_.dialog)) {
            DestroyWindow(window_.dialog);
        }
        if (window_.cellFont != 0) {
            releaseFont(window_.cellFont);
        }
        SetCurrentDirectoryW(previous_.c_str());
    }

    HWND item(int id) const { return GetDlgItem(window_.dialog, id); }

    // The dialog's controls in creation order.
    std::vector<HWND> controls() const {
        std::vector<HWND> all;
        for (HWND c = GetWindow(window_.dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            all.push_back(c);
        }
        return all;
    }

    roi_test::TempDir directory_;
    std::wstring previous_;
    MainWindow window_;
};

TEST(TextFitDpi, RunsAtTheDpiAskedFor) {
    const char* expected = std::getenv("ROI_EXPECTED_DPI");
    if (expected == nullptr) {
        GTEST_SKIP() << "ROI_EXPECTED_DPI not set: runs at the prefix's own DPI (" << screenDpi() << ")";
    }
    EXPECT_EQ(screenDpi(), std::atoi(expected));
}

// A font as window's DC (the screen's for none) realises it: face, cell height, height
// less internal leading (what a negative lfHeight asks for) and weight.
struct Realised {
    std::wstring face;
    LONG height = 0;
    LONG characterHeight = 0;
    LONG weight = 0;
};

Realised realisedIn(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    const HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW m = {};
    GetTextMetricsW(dc, &m);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return Realised{face, m.tmHeight, m.tmHeight - m.tmInternalLeading, m.tmWeight};
}

Realised realisedOnScreen(const wchar_t* face, int height) {
    HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, face);
    const Realised realised = realisedIn(nullptr, font);
    DeleteObject(font);
    return realised;
}

// MainDialog's client width at 100 %: 413 dialog units of the bold 8-point MS Sans
// Serif, 7 pixels to 4 units.
constexpr int CLIENT_WIDTH_AT_100 = 723;

// The window, its labels and its nine cells share one face and grow with the scale. The
// raster "MS Sans Serif" has designs up to a size; past it the window asks for
// "Microsoft Sans Serif" where that is installed, and keeps the raster face where it is
// not, rather than a face whose figures the cells have no room for.
TEST_F(TextFitTest, FontsAreRealisedInTheFacesAskedFor) {
    const int dpi = screenDpi();
    const int asked = MulDiv(8, dpi, 72);  // the dialog font's character height
    const bool rasterKeepsUp = realisedOnScreen(L"MS Sans Serif", -asked).characterHeight * 8 >= asked * 7;
    const bool twinInstalled = realisedOnScreen(L"Microsoft Sans Serif", -asked).face == L"Microsoft Sans Serif";
    const wchar_t* face = rasterKeepsUp || !twinInstalled ? L"MS Sans Serif" : L"Microsoft Sans Serif";
    const auto fontOf = [this](int id) { return reinterpret_cast<HFONT>(SendMessageW(item(id), WM_GETFONT, 0, 0)); };
    const Realised cell = realisedIn(item(ID_TOTAL_WON), fontOf(ID_TOTAL_WON));
    EXPECT_EQ(cell.weight, FW_BOLD);
    // The nine cells alike; then the dialog font, on a button and a label, in the same face.
    const int ids[] = {ID_TOTAL_WON,      ID_TOTAL_BET,      ID_BETS_MADE,         ID_BETS_WON,        ID_ROI,
                       ID_WIN_PERCENT,    ID_AVERAGE_MUTUEL, ID_STARTING_BANKROLL, ID_ENDING_BANKROLL, ID_CALCULATE,
                       ID_TOTAL_WON_LABEL};
    for (const int id : ids) {
        SCOPED_TRACE(id);
        const Realised realised = realisedIn(item(id), fontOf(id));
        EXPECT_EQ(realised.face, face) << "a fallback face: is Wine's font package installed?";
        if (id != ID_CALCULATE && id != ID_TOTAL_WON_LABEL) {  // the dialog font on buttons and labels
            EXPECT_EQ(realised.height, cell.height);
            EXPECT_EQ(realised.weight, cell.weight);
        }
    }
    RECT client = {};
    GetClientRect(window_.dialog, &client);
    const double expected = CLIENT_WIDTH_AT_100 * dpi / 96.0;
    std::printf("at %d DPI the client area is %ld px wide, %.0f %% of %.0f\n", dpi, client.right,
                100.0 * client.right / expected, expected);
    if (rasterKeepsUp || twinInstalled) {
        // A few per cent: the raster designs come in steps (95 % of the scale at 150 %).
        EXPECT_NEAR(client.right, expected, expected * 0.05);
    } else {
        std::printf("note: MS Sans Serif falls short here and Microsoft Sans Serif is not installed\n");
    }
}

// Every control's fixed text, and each result and bankroll cell's widest text.
TEST_F(TextFitTest, EveryControlShowsItsWholeText) {
    std::map<int, const char*> masks;
    for (const MaskedCell& m : MASKED_CELLS) {
        masks[m.id] = m.mask;
    }
    std::vector<Fit> fits;
    for (HWND control : controls()) {
        Fit fit;
        fit.id = GetDlgCtrlID(control);
        fit.room = roomOf(control);
        if (isClass(control, L"Edit")) {
            const auto mask = masks.find(fit.id);
            if (mask == masks.end()) {
                // Input cells scroll sideways; what is typed must still fit their height.
                fit.text = L"$1,234,567.90-";
                fit.wholeWidth = false;
            } else {
                fit.text = widestMaskText(control, mask->second);
            }
        } else if (fit.room.width == 0) {
            continue;  // a badge: no text
        } else {
            fit.text = windowText(control);
            ASSERT_FALSE(fit.text.empty()) << fit.id;
        }
        fit.ink = inkOf(control, fit.text);
        fits.push_back(fit);
    }
    ASSERT_EQ(fits.size(), 24u);  // 26 controls less the two badges
    for (const Fit& fit : fits) {
        SCOPED_TRACE(describe(fit));
        expectWhole(fit);
    }
    const Fit& tightest =
        *std::min_element(fits.begin(), fits.end(), [](const Fit& a, const Fit& b) { return a.spare() < b.spare(); });
    std::printf("at %d DPI the tightest control is %d \"%s\" with %d px to spare\n", screenDpi(), tightest.id,
                narrow(tightest.text).c_str(), tightest.spare());
    for (const Fit& fit : fits) {
        std::printf("  %s, spare %d\n", describe(fit).c_str(), fit.spare());
    }
}

// The widest results a CALCULATE can show, read back from the cells.
TEST_F(TextFitTest, WidestCalculateShowsEveryCellWhole) {
    struct Typed {
        int id;
        const wchar_t* text;
    };
    // 999999 won on 100 bet: ROI 9999.99; 100 of 100 bets won: WIN% 100.00, AVERAGE
    // MUTUEL 9999.99; a bankroll of 8 million grows by 999899.
    const Typed typed[] = {{ID_TOTAL_WON, L"999999"},
                           {ID_TOTAL_BET, L"100"},
                           {ID_BETS_MADE, L"100"},
                           {ID_BETS_WON, L"100"},
                           {ID_STARTING_BANKROLL, L"8888888.88"}};
    for (const Typed& t : typed) {
        ASSERT_TRUE(SetWindowTextW(item(t.id), t.text));
    }
    mainDialogHandler(window_.dialog, WM_COMMAND, MAKEWPARAM(ID_CALCULATE, BN_CLICKED),
                      reinterpret_cast<LPARAM>(item(ID_CALCULATE)));
    struct Shown {
        int id;
        const wchar_t* text;
    };
    const Shown shown[] = {
        {ID_ROI, L"$9999.99"},         // every digit position of "$####.##"
        {ID_WIN_PERCENT, L"100.00%"},  // the highest share there is
        {ID_AVERAGE_MUTUEL, L"$9,999.99"},
        {ID_STARTING_BANKROLL, L"$8,888,888.88"},
        {ID_ENDING_BANKROLL, L"$9,888,787.88"},  // in the millions
        {ID_TOTAL_WON, L"999999"},
        {ID_TOTAL_BET, L"100"},
        {ID_BETS_MADE, L"100"},
        {ID_BETS_WON, L"100"},
    };
    for (const Shown& s : shown) {
        Fit fit;
        fit.id = s.id;
        fit.text = windowText(item(s.id));
        SCOPED_TRACE(describe(fit));
        EXPECT_EQ(fit.text, s.text);
        fit.room = roomOf(item(s.id));
        fit.ink = inkOf(item(s.id), fit.text);
        expectWhole(fit);
    }
}

// What the help window leaves room for, measured from another thread while the help
// command waits for its key; the window is then closed with its close box.
struct HelpMeasure {
    bool found = false;
    int columnWidth = 0;  // average character width: the unit of setColumn
    int lineHeight = 0;
    SIZE client = {};
    std::vector<Fit> lines;
};

BOOL CALLBACK findHelpFrame(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && className(window) == L"STAVEGRAPH" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HelpMeasure measureHelpWindow() {
    HelpMeasure measure;
    HWND frame = nullptr;
    for (int tries = 0; tries < 500 && frame == nullptr; ++tries) {
        EnumWindows(findHelpFrame, reinterpret_cast<LPARAM>(&frame));
        if (frame == nullptr) {
            std::this_thread::sleep_for(10ms);
        }
    }
    HWND surface = frame != nullptr ? GetDlgItem(frame, 0) : nullptr;
    if (surface == nullptr) {
        return measure;
    }
    measure.found = true;
    RECT client = {};
    GetClientRect(surface, &client);
    measure.client = SIZE{client.right, client.bottom};
    // The help text is printed in font 1, realised for the screen like the canvas does.
    HFONT font = realiseFont(1, nullptr);
    HDC dc = GetDC(surface);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    measure.columnWidth = metrics.tmAveCharWidth;
    measure.lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    SelectObject(dc, previous);
    for (const HelpLine& line : HELP_LINES) {
        Fit fit;
        fit.id = line.row;
        fit.text = roi_test::widen(std::string(line.text));
        fit.ink = inkOf(dc, font, fit.text);
        // The room left of the line's own start column and above its own row.
        const int left = (HELP_TEXT_COLUMN - 1) * measure.columnWidth;
        const int top = (line.row - 1) * measure.lineHeight;
        fit.room = Room{measure.client.cx - left, measure.client.cy - top};
        measure.lines.push_back(fit);
    }
    ReleaseDC(surface, dc);
    PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
    return measure;
}

TEST_F(TextFitTest, HelpScreenShowsEveryLineWhole) {
    HelpMeasure measure;
    std::thread watcher([&measure] { measure = measureHelpWindow(); });
    // The "?" button, through the real handler; it returns once the window is closed.
    mainDialogHandler(window_.dialog, WM_COMMAND, MAKEWPARAM(ID_HELP, BN_CLICKED),
                      reinterpret_cast<LPARAM>(item(ID_HELP)));
    watcher.join();
    ASSERT_TRUE(measure.found) << "no help window appeared";
    // 135 columns by 60 rows of the font's character cell.
    EXPECT_EQ(measure.client.cx, HELP_COLUMNS * measure.columnWidth);
    EXPECT_EQ(measure.client.cy, HELP_ROWS * measure.lineHeight);
    int tightest = INT_MAX;
    for (const Fit& fit : measure.lines) {
        SCOPED_TRACE(testing::Message() << "help row " << fit.id);
        expectWhole(fit);
        tightest = std::min(tightest, fit.room.width - fit.ink.width);
    }
    std::printf("at %d DPI the help window is %ldx%ld px; the widest line has %d px to spare\n", screenDpi(),
                measure.client.cx, measure.client.cy, tightest);
}

}  // namespace
}  // namespace roi
