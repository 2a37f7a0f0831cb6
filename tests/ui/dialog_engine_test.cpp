// Tests of the dialog engine under Wine: dialogs and their style rules, unit
// conversion, controls and their fonts, text conversion, the modal loop and image
// controls. Dialogs are created hidden unless the modal loop shows them; every loop
// runs under a watchdog so a fault cannot hang the run. The template, the font table
// and the record list have test programs of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/runtime.h"
#include "tests/support/dialog_fixture.h"
#include "tests/support/watchdog.h"
#include "ui/canvas_window.h"
#include "ui/dialog_engine.h"
#include "ui/font_table.h"
#include "ui/window_records.h"

namespace roi {
namespace {

using roi_test::EngineTest;
using roi_test::Watchdog;

// ---- helpers ------------------------------------------------------------------------------

std::wstring windowText(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

// ---- dialogs ---------------------------------------------------------------------------------

TEST_F(EngineTest, DialogIsHiddenWithCaptionAndDefaultFont) {
    HWND dialog = hiddenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(windowText(dialog), L"Engine test");
    // The dialog manager made its font from the template's font part.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    {
        const LockedRecord record(dialog);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->flags, static_cast<std::uint32_t>(RECORD_DIALOG_UNITS | RECORD_IS_DIALOG));
        EXPECT_EQ(record->style, 0x80C000D4u);
        EXPECT_EQ(record->showCommand, SW_SHOW);
        EXPECT_EQ(record->dialogFont, font);
    }
    LOGFONTW logFont = {};
    ASSERT_NE(GetObjectW(font, sizeof logFont, &logFont), 0);
    EXPECT_EQ(std::wstring(logFont.lfFaceName), L"MS Sans Serif");
    EXPECT_EQ(logFont.lfWeight, FW_BOLD);  // font 1 weighs 400; any weight but 0 goes in as 700
    EXPECT_EQ(logFont.lfItalic, 0);
}

TEST_F(EngineTest, ShowCommandFollowsStyle) {
    struct Case {
        DWORD style;
        int expected;
    };
    const Case cases[] = {
        {WS_POPUP | WS_CAPTION | WS_MAXIMIZE, SW_MAXIMIZE},
        {WS_POPUP | WS_CAPTION | WS_MINIMIZE, SW_MINIMIZE},
        {WS_POPUP | WS_CAPTION | WS_MAXIMIZE | WS_MINIMIZE, SW_MAXIMIZE},  // maximize wins
        {WS_POPUP | WS_CAPTION, SW_SHOW},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        HWND dialog = createDialog(UnitMode::DialogUnits, nullptr, "s", 0, 0, 50, 50, c.style, 0);
        ASSERT_NE(dialog, nullptr);
        dialogs_.push_back(dialog);
        ASSERT_TRUE(LockedRecord(dialog));
        EXPECT_EQ(LockedRecord(dialog)->showCommand, c.expected);
    }
}

TEST_F(EngineTest, PixelDialogHasTheGivenClientSizeAndPlace) {
    HWND dialog = createDialog(UnitMode::Pixels, nullptr, "Pixels", 50, 60, 300, 200, 0, 0);
    ASSERT_NE(dialog, nullptr);
    dialogs_.push_back(dialog);
    RECT client = {};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);
    RECT outer = {};
    GetWindowRect(dialog, &outer);
    EXPECT_EQ(outer.left, 50);
    EXPECT_EQ(outer.top, 60);
    EXPECT_EQ(LockedRecord(dialog)->flags & RECORD_UNIT_BITS, static_cast<std::uint32_t>(RECORD_PIXELS));

    // Centred over the work area.
    HWND centred = createDialog(UnitMode::Pixels, nullptr, "Centred", CENTRED, CENTRED, 301, 151, 0, 0);
    ASSERT_NE(centred, nullptr);
    dialogs_.push_back(centred);
    RECT work = {};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    GetWindowRect(centred, &outer);
    const long width = outer.right - outer.left;
    const long height = outer.bottom - outer.top;
    EXPECT_EQ(outer.left, std::max(0L, work.left + work.right - width) / 2);
    EXPECT_EQ(outer.top, std::max(0L, work.top + work.bottom - height) / 2);
}

// ---- controls --------------------------------------------------------------------------------

TEST_F(EngineTest, ControlsCarryTheirStyles) {
    struct Case {
        const char* name;
        ControlKind kind;
        DWORD style;
        DWORD extendedStyle;
        const wchar_t* className;
        DWORD expectStyle;
        DWORD expectExtended;
        DWORD classDrops = 0;  // style bits the window class itself takes away
    };
    const Case cases[] = {
        {"button", ControlKind::PushButton, 0, 0, L"Button", 0x50010000, 0},
        {"button explicit", ControlKind::PushButton, WS_GROUP, 0, L"Button", 0x50020000, 0},
        {"group", ControlKind::GroupBox, 0, 0, L"Button", 0x50000007, 0},
        // a group box never takes the tab stop or another button type
        {"group explicit", ControlKind::GroupBox, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, L"Button", 0x50000007, 0},
        {"label", ControlKind::StaticLabel, 0, 0, L"Static", 0x50000000, 0},
        {"label explicit", ControlKind::StaticLabel, SS_RIGHT, 0, L"Static", 0x50000002, 0},
        {"edit", ControlKind::EditBox, 0, 0, L"Edit", 0x50010080, WS_EX_CLIENTEDGE},
        {"edit explicit", ControlKind::EditBox, 0x50000081, 0x200, L"Edit", 0x50000081, 0x200},
        // an explicit WS_BORDER is kept, and no client edge is added
        // (an edit control draws its border itself and clears WS_BORDER)
        {"edit explicit border", ControlKind::EditBox, WS_BORDER, 0, L"Edit", 0x50800000, 0, WS_BORDER},
        {"default push button", ControlKind::PushButton, BS_DEFPUSHBUTTON, 0, L"Button", 0x50000001, 0},
    };
    HWND dialog = hiddenDialog();
    ASSERT_NE(dialog, nullptr);
    int id = 200;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++id;
        addControl(dialog, id, c.kind, "text", 5, 5, 40, 12, c.style, c.extendedStyle);
        HWND control = controlHandle(dialog, id);
        ASSERT_NE(control, nullptr);
        wchar_t className[32] = {};
        GetClassNameW(control, className, 32);
        EXPECT_EQ(lstrcmpiW(className, c.className), 0);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)), c.expectStyle & ~c.classDrops);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE)) & ~WS_EX_NOPARENTNOTIFY, c.expectExtended);
        {
            const LockedRecord record(control);
            ASSERT_TRUE(record);
            EXPECT_EQ(record->kind, c.kind);
            EXPECT_EQ(record->parent, dialog);
            EXPECT_EQ(record->flags, static_cast<std::uint32_t>(RECORD_DIALOG_UNITS | RECORD_CONTROL));
            EXPECT_EQ(record->style, c.expectStyle);
        }
        // Every control starts with the dialog's font.
        EXPECT_EQ(SendMessageW(control, WM_GETFONT, 0, 0), SendMessageW(dialog, WM_GETFONT, 0, 0));
    }
}

TEST_F(EngineTest, DefaultPushButtonBecomesTheDialogDefault) {
    HWND dialog = hiddenDialog();
    addControl(dialog, 300, ControlKind::PushButton, "Plain", 5, 5, 40, 14, 0, 0);
    addControl(dialog, 301, ControlKind::PushButton, "Default", 5, 25, 40, 14, BS_DEFPUSHBUTTON, 0);
    const LRESULT defId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    EXPECT_EQ(HIWORD(defId), DC_HASDEFID);
    EXPECT_EQ(LOWORD(defId), 301);
}

TEST_F(EngineTest, DialogUnitCornersAreConverted) {
    struct Case {
        int x, y, width, height;
    };
    // Odd values, where converting the size would round differently from the corners.
    const Case cases[] = {{7, 9, 13, 11}, {1, 1, 1, 1}, {3, 5, 7, 3}, {42, 45, 46, 12}, {0, 0, 5, 5}};
    HWND dialog = hiddenDialog();
    ASSERT_NE(dialog, nullptr);
    int id = 400;
    bool sizeConversionDiffers = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.width << "x" << c.height);
        ++id;
        addControl(dialog, id, ControlKind::StaticLabel, "", c.x, c.y, c.width, c.height, 0, 0);
        HWND control = controlHandle(dialog, id);
        ASSERT_NE(control, nullptr);
        RECT corners = {c.x, c.y, c.x + c.width, c.y + c.height};
        ASSERT_TRUE(MapDialogRect(dialog, &corners));
        const RECT actual = childRect(control);
        EXPECT_EQ(actual.left, corners.left);
        EXPECT_EQ(actual.top, corners.top);
        EXPECT_EQ(actual.right, corners.right);
        EXPECT_EQ(actual.bottom, corners.bottom);
        RECT size = {0, 0, c.width, c.height};
        MapDialogRect(dialog, &size);
        if (size.right != corners.right - corners.left || size.bottom != corners.bottom - corners.top) {
            sizeConversionDiffers = true;
        }
    }
    // Otherwise the rows could not tell the two conversions apart.
    EXPECT_TRUE(sizeConversionDiffers);
}

TEST_F(EngineTest, PixelControlsKeepTheirValues) {
    HWND dialog = hiddenDialog(UnitMode::Pixels);
    ASSERT_NE(dialog, nullptr);
    addControl(dialog, 10, ControlKind::StaticLabel, "p", 3, 5, 17, 9, 0, 0);
    const RECT actual = childRect(controlHandle(dialog, 10));
    EXPECT_EQ(actual.left, 3);
    EXPECT_EQ(actual.top, 5);
    EXPECT_EQ(actual.right, 20);
    EXPECT_EQ(actual.bottom, 14);
    EXPECT_EQ(LockedRecord(controlHandle(dialog, 10))->flags & RECORD_UNIT_BITS,
              static_cast<std::uint32_t>(RECORD_PIXELS));
}

TEST_F(EngineTest, DuplicateIdsFindTheFirstControl) {
    HWND dialog = hiddenDialog();
    addControl(dialog, 50, ControlKind::StaticLabel, "first", 5, 5, 40, 10, 0, 0);
    addControl(dialog, 50, ControlKind::StaticLabel, "second", 5, 20, 40, 10, 0, 0);
    EXPECT_EQ(getControlText(controlHandle(dialog, 50)), "first");
    EXPECT_EQ(controlHandle(dialog, 51), nullptr);
    EXPECT_EQ(controlHandle(nullptr, 50), nullptr);
}

TEST_F(EngineTest, OperationsWithoutARecordDoNothing) {
    // A window the engine did not create.
    HWND stranger = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(stranger, nullptr);
    addControl(stranger, 5, ControlKind::StaticLabel, "x", 0, 0, 5, 5, 0, 0);
    EXPECT_EQ(GetDlgItem(stranger, 5), nullptr);
    addControl(nullptr, 5, ControlKind::StaticLabel, "x", 0, 0, 5, 5, 0, 0);
    endDialog(stranger, 3);
    EXPECT_TRUE(IsWindow(stranger));
    INT_PTR result = 77;
    runModal(stranger, nullptr, &result);  // returns at once: no record
    EXPECT_EQ(result, 77);
    DestroyWindow(stranger);
    // Kinds addControl does not make.
    HWND dialog = hiddenDialog();
    addControl(dialog, 6, ControlKind::GraphicSurface, "", 0, 0, 5, 5, 0, 0);
    addControl(dialog, 7, ControlKind::None, "", 0, 0, 5, 5, 0, 0);
    EXPECT_EQ(controlHandle(dialog, 6), nullptr);
    EXPECT_EQ(controlHandle(dialog, 7), nullptr);
}

// ---- text ------------------------------------------------------------------------------------

TEST(TextConversion, RoundTripsThroughUtf16) {
    ASSERT_EQ(threadRecord().codePage, 0u);
    // The rows below assume the Western single-byte code page of the test prefix.
    ASSERT_EQ(GetACP(), 1252u);
    struct Case {
        const char* name;
        std::string narrow;
        std::wstring wide;
    };
    const Case cases[] = {
        {"empty", "", L""},
        {"ascii", "ROI 1.25", L"ROI 1.25"},
        {"embedded zero", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"high byte", "caf\xE9", L"caf\u00E9"},
        {"euro sign in 1252", "\x80", L"\u20AC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toWide(c.narrow), c.wide);
        EXPECT_EQ(toNarrow(c.wide), c.narrow);
    }
}

TEST(TextConversion, UnrepresentableCharactersBecomeTheDefaultCharacter) {
    ASSERT_EQ(GetACP(), 1252u);
    struct Case {
        const char* name;
        std::wstring wide;
        std::string narrow;
    };
    const Case cases[] = {
        {"cjk", L"\u4E00", "?"},
        {"inside a text", L"a\u4E00b\u0416c", "a?b?c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toNarrow(c.wide), c.narrow);
    }
}

TEST_F(EngineTest, ControlTextRoundTrips) {
    HWND dialog = hiddenDialog();
    addControl(dialog, 1001, ControlKind::EditBox, "start", 5, 5, 80, 12, 0, 0);
    HWND edit = controlHandle(dialog, 1001);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(getControlText(edit), "start");
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"number", "-1,234.50"},
        {"high byte", "\xA3 5"},  // pound sign in 1252
        {"long", std::string(300, '7')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setControlText(edit, c.text);
        EXPECT_EQ(getControlText(edit), c.text);
    }
    // A character the code page cannot hold comes back as '?'.
    SetWindowTextW(edit, L"x\u4E00y");
    EXPECT_EQ(getControlText(edit), "x?y");
    // Not a window: empty text, and setting does nothing.
    EXPECT_EQ(getControlText(nullptr), "");
    setControlText(nullptr, "ignored");
    DestroyWindow(dialog);
    EXPECT_EQ(getControlText(edit), "");
    setControlText(edit, "ignored");
}

// ---- fonts -----------------------------------------------------------------------------------

TEST_F(EngineTest, SetControlFontIgnoresWhatItCannotUse) {
    HWND dialog = hiddenDialog();
    addControl(dialog, 9, ControlKind::StaticLabel, "x", 5, 5, 60, 12, 0, 0);
    HWND label = controlHandle(dialog, 9);
    const LRESULT before = SendMessageW(label, WM_GETFONT, 0, 0);
    setControlFont(dialog, 9, fontCount() + 5);  // no such font
    setControlFont(dialog, 99, 1);               // no such control
    setControlFont(dialog, 9, -1);
    EXPECT_EQ(SendMessageW(label, WM_GETFONT, 0, 0), before);
    EXPECT_EQ(LockedRecord(label)->font, 0);
}

// ---- images ----------------------------------------------------------------------------------

TEST(ResourceNameMatches, IdsAndNames) {
    struct Case {
        const wchar_t* wanted;
        const wchar_t* resource;
        bool expected;
    };
    const Case cases[] = {
        {L"#123", MAKEINTRESOURCEW(123), true},
        {L"#0123", MAKEINTRESOURCEW(123), true},  // decimal digits, leading zero
        {L"#123", MAKEINTRESOURCEW(124), false},
        {L"123", MAKEINTRESOURCEW(123), false},  // no "#": a name, never an id
        {L"#123", L"#123", false},               // "#123" names the id only
        {L"#12a", MAKEINTRESOURCEW(12), false},  // not all digits
        {L"#", MAKEINTRESOURCEW(0), false},
        {L"#65659", MAKEINTRESOURCEW(123), false},  // too large for an id; must not wrap to 123
        {L"badge", L"BADGE", true},                 // a to z match A to Z
        {L"BaDgE", L"BADGE", true},
        {L"badg", L"BADGE", false},
        {L"badges", L"BADGE", false},
        {L"", L"BADGE", false},
        {L"\u00e9t\u00e9", L"\u00c9T\u00c9", false},  // only a to z are folded
        {L"A_1", L"a_1", true},
        {L"badge", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "wanted " << testing::PrintToString(std::wstring(c.wanted)));
        EXPECT_EQ(resourceNameMatches(c.wanted, c.resource), c.expected);
    }
}

TEST_F(EngineTest, ImageControlsFindTheirResources) {
    struct Case {
        const char* name;
        bool bitmap;  // found as a bitmap resource
        bool loads;   // the image loads (as a bitmap or, failing that, an icon)
    };
    const Case cases[] = {
        {"#123", true, true},    // numeric id
        {"badge", true, true},   // named bitmap, other case
        {"#777", false, true},   // no bitmap of that id: loaded as an icon
        {"#999", false, false},  // neither: the control stays empty
        {"NOSUCH", false, false},
    };
    HWND dialog = hiddenDialog();
    ASSERT_NE(dialog, nullptr);
    int id = 500;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++id;
        addControl(dialog, id, ControlKind::BitmapImage, c.name, 5, 5, 10, 10, 0x20, 0);
        HWND control = controlHandle(dialog, id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetWindowTextLengthW(control), 0);  // the name is not the window's text
        const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
        EXPECT_EQ(style & SS_TYPEMASK, c.bitmap ? static_cast<DWORD>(SS_BITMAP) : static_cast<DWORD>(SS_ICON));
        EXPECT_EQ(style & 0x20u, 0x20u);
        const UINT type = c.bitmap ? IMAGE_BITMAP : IMAGE_ICON;
        const auto shown = reinterpret_cast<HANDLE>(SendMessageW(control, STM_GETIMAGE, type, 0));
        {
            const LockedRecord record(control);
            ASSERT_TRUE(record);
            EXPECT_EQ(record->flags & (RECORD_IMAGE_BITMAP | RECORD_IMAGE_ICON),
                      c.bitmap ? static_cast<std::uint32_t>(RECORD_IMAGE_BITMAP)
                               : static_cast<std::uint32_t>(RECORD_IMAGE_ICON));
            EXPECT_EQ(record->image != nullptr, c.loads);
            EXPECT_EQ(shown, record->image);
        }
        if (c.bitmap && c.loads) {
            // A bitmap control takes the size of its bitmap (6 x 3 pixels).
            RECT client = {};
            GetClientRect(control, &client);
            EXPECT_EQ(client.right, 6);
            EXPECT_EQ(client.bottom, 3);
        }
    }
}

// ---- modal loop ------------------------------------------------------------------------------

struct Seen {
    UINT message;
    WPARAM wParam;
    bool windowAlive;
};
std::vector<Seen> seen;

INT_PTR recordingHandler(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    seen.push_back({message, wParam, IsWindow(dialog) != FALSE});
    return 0;
}

// Index of the first message m at or after from, or -1.
int indexOf(UINT message, std::size_t from = 0) {
    for (std::size_t i = from; i < seen.size(); ++i) {
        if (seen[i].message == message) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TEST_F(EngineTest, CloseBoxEndsTheModalRunWithZero) {
    Watchdog dog(60000);
    seen.clear();
    HWND dialog = hiddenDialog();
    addControl(dialog, 1001, ControlKind::EditBox, "", 5, 5, 60, 12, 0, 0);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    INT_PTR result = 77;
    runModal(dialog, recordingHandler, &result);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(result, 0);
    // The handler's own start, then the close sequence in order.
    ASSERT_GE(seen.size(), 6u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(seen[0].wParam, reinterpret_cast<WPARAM>(dialog));
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(seen[1].wParam, static_cast<WPARAM>(SIZE_RESTORED));
    const int sysCommand = indexOf(WM_SYSCOMMAND);
    ASSERT_GE(sysCommand, 0);
    const int close = indexOf(WM_CLOSE, static_cast<std::size_t>(sysCommand));
    const int destroy = indexOf(WM_DESTROY, static_cast<std::size_t>(close < 0 ? 0 : close));
    const int ncDestroy = indexOf(WM_NCDESTROY, static_cast<std::size_t>(destroy < 0 ? 0 : destroy));
    EXPECT_GT(close, sysCommand);
    EXPECT_GT(destroy, close);
    EXPECT_GT(ncDestroy, destroy);
    // Activation never reaches the handler.
    EXPECT_EQ(indexOf(WM_ACTIVATE), -1);
    EXPECT_EQ(activeDialog(), nullptr);
}

TEST_F(EngineTest, EscapeAndEnterArriveAsCancelAndOk) {
    Watchdog dog(60000);
    seen.clear();
    HWND dialog = hiddenDialog();
    addControl(dialog, 1001, ControlKind::EditBox, "", 5, 5, 60, 12, 0, 0);
    addControl(dialog, 1009, ControlKind::PushButton, "CALCULATE", 5, 25, 50, 14, 0, 0);
    HWND edit = controlHandle(dialog, 1001);
    // Queued in order; the loop handles them after the dialog is shown.
    PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(dialog, WM_APP, 0, 0);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    INT_PTR result = 77;
    runModal(dialog, recordingHandler, &result);
    EXPECT_EQ(result, 0);
    std::vector<WORD> commands;
    for (const Seen& s : seen) {
        if (s.message == WM_COMMAND) {
            commands.push_back(LOWORD(s.wParam));
        }
    }
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], IDCANCEL);
    EXPECT_EQ(commands[1], IDOK);
    // The window was still open after both keys.
    const int app = indexOf(WM_APP);
    ASSERT_GE(app, 0);
    EXPECT_TRUE(seen[static_cast<std::size_t>(app)].windowAlive);
    EXPECT_LT(indexOf(WM_COMMAND), app);
}

INT_PTR closingOnCommand(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == 1009) {
        endDialog(dialog, 42);
        return TRUE;
    }
    return 0;
}

TEST_F(EngineTest, EndDialogResultReachesTheDestination) {
    Watchdog dog(60000);
    HWND dialog = hiddenDialog();
    addControl(dialog, 1009, ControlKind::PushButton, "End", 5, 25, 50, 14, 0, 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1009, BN_CLICKED),
                 reinterpret_cast<LPARAM>(controlHandle(dialog, 1009)));
    INT_PTR result = 0;
    runModal(dialog, closingOnCommand, &result);
    EXPECT_EQ(result, 42);
    EXPECT_FALSE(IsWindow(dialog));
}

INT_PTR controlClaims(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_COMMAND ? 5 : 0;
}

TEST_F(EngineTest, ControlHandlerComesBeforeTheDialogs) {
    seen.clear();
    HWND dialog = hiddenDialog();
    addControl(dialog, 70, ControlKind::PushButton, "claims", 5, 5, 40, 14, 0, 0, controlClaims);
    addControl(dialog, 71, ControlKind::PushButton, "passes", 5, 25, 40, 14, 0, 0, recordingHandler);
    LockedRecord(dialog)->handler = recordingHandler;
    HWND claims = controlHandle(dialog, 70);
    HWND passes = controlHandle(dialog, 71);
    // A handled message's result goes back, and into DWLP_MSGRESULT.
    EXPECT_EQ(SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(70, BN_CLICKED), reinterpret_cast<LPARAM>(claims)), 5);
    EXPECT_EQ(indexOf(WM_COMMAND), -1);  // the dialog's handler never saw it
    // Not handled by the control: the dialog's handler follows, with the dialog's handle.
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(71, BN_CLICKED), reinterpret_cast<LPARAM>(passes));
    int count = 0;
    for (const Seen& s : seen) {
        count += s.message == WM_COMMAND ? 1 : 0;
    }
    EXPECT_EQ(count, 2);  // once for the control's handler, once for the dialog's
}

INT_PTR throwsOnCommand(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_COMMAND) {
        throw std::bad_alloc();
    }
    return 0;
}

long double third() {
    volatile long double one = 1.0L;
    volatile long double three = 3.0L;
    return one / three;
}

long double thirdInHandler = 0.0L;
INT_PTR computesAThird(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_APP) {
        thirdInHandler = third();
    }
    return 0;
}

// Each call into Windows here leaves a 53-bit word behind (the seam stands for such a
// call), and Windows enters the procedure with one: the engine computes in 64 bits all the same.
TEST_F(EngineTest, WhateverWordWindowsLeavesTheNextComputationHasAll64Bits) {
    HWND dialog = hiddenDialog();
    LockedRecord(dialog)->handler = computesAThird;
    setAfterSystemCall([] { loadControlWord(0x027F); });
    setControlText(dialog, "calls into Windows");
    const long double afterCalls = third();
    setAfterSystemCall(nullptr);
    loadControlWord(0x027F);
    engineDialogProc(dialog, WM_APP, 0, 0);
    EXPECT_EQ(afterCalls, 0x1.5555555555555556p-2L);
    EXPECT_EQ(thirdInHandler, 0x1.5555555555555556p-2L);
}

TEST_F(EngineTest, AnExceptionFromAHandlerStopsAtTheDialogProcedure) {
    HWND dialog = hiddenDialog();
    LockedRecord(dialog)->handler = throwsOnCommand;
    // Taken as not handled: the dialog answers 0, stays open and keeps working.
    EXPECT_EQ(SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(80, BN_CLICKED), 0), 0);
    EXPECT_TRUE(IsWindow(dialog));
    setControlText(dialog, "still here");
    EXPECT_EQ(getControlText(dialog), "still here");
}

DWORD WINAPI closeFromAnotherThread(void* dialog) {
    Sleep(200);
    SendMessageW(static_cast<HWND>(dialog), WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
}

TEST_F(EngineTest, ModalRunEndsWhenASentMessageClosesTheDialog) {
    // The close arrives inside PeekMessageW, which then finds the queue empty.
    Watchdog dog(60000);
    HWND dialog = hiddenDialog();
    HANDLE thread = CreateThread(nullptr, 0, closeFromAnotherThread, dialog, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    INT_PTR result = 77;
    runModal(dialog, nullptr, &result);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(IsWindow(dialog));
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
}

TEST_F(EngineTest, PumpMessageHandlesOneMessageAndCountsDialogs) {
    Watchdog dog(60000);
    seen.clear();
    MSG drain;
    while (PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&drain);
    }
    const int before = pumpMessage();
    HWND first = hiddenDialog();
    HWND second = hiddenDialog();
    EXPECT_EQ(pumpMessage(), before + 2);
    LockedRecord(first)->handler = recordingHandler;
    PostMessageW(first, WM_APP, 1, 0);
    PostMessageW(first, WM_APP, 2, 0);
    pumpMessage();
    EXPECT_EQ(seen.size(), 1u);  // at most one message per call
    pumpMessage();
    EXPECT_EQ(seen.size(), 2u);
    DestroyWindow(second);
    EXPECT_EQ(pumpMessage(), before + 1);
    DestroyWindow(first);
    EXPECT_EQ(pumpMessage(), before);
}

TEST_F(EngineTest, ActivationSetsTheActiveDialog) {
    HWND dialog = hiddenDialog();
    SendMessageW(dialog, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(activeDialog(), dialog);
    SendMessageW(dialog, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(activeDialog(), nullptr);
    SendMessageW(dialog, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    EXPECT_EQ(activeDialog(), dialog);
    DestroyWindow(dialog);
    EXPECT_EQ(activeDialog(), nullptr);  // a destroyed window is not left as the target
}

// ---- colours ---------------------------------------------------------------------------------

TEST_F(EngineTest, ColourRules) {
    HWND dialog = hiddenDialog();
    addControl(dialog, 30, ControlKind::StaticLabel, "c", 5, 5, 40, 10, 0, 0);
    HWND label = controlHandle(dialog, 30);
    HDC dc = GetDC(label);
    ASSERT_NE(dc, nullptr);
    const LPARAM control = reinterpret_cast<LPARAM>(label);
    const WPARAM device = reinterpret_cast<WPARAM>(dc);

    // Not set: the engine leaves it to the dialog manager, whose system colours apply.
    EXPECT_EQ(engineDialogProc(dialog, WM_CTLCOLORSTATIC, device, control), 0);

    // RGB text and background: the record's brush.
    LockedRecord(label)->textColour = static_cast<int>(RGB(10, 20, 30));
    LockedRecord(label)->backgroundColour = static_cast<int>(RGB(200, 100, 50));
    const LRESULT brush = SendMessageW(dialog, WM_CTLCOLORSTATIC, device, control);
    EXPECT_NE(brush, 0);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), LockedRecord(label)->backgroundBrush);
    EXPECT_EQ(GetTextColor(dc), RGB(10, 20, 30));
    EXPECT_EQ(GetBkColor(dc), RGB(200, 100, 50));

    // System colours, by message: a static's background is the button face.
    LockedRecord(label)->textColour = COLOUR_SYSTEM;
    LockedRecord(label)->backgroundColour = COLOUR_SYSTEM;
    EXPECT_EQ(reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORSTATIC, device, control)),
              GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLOREDIT, device, control)),
              GetSysColorBrush(COLOR_WINDOW));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORSCROLLBAR, device, control)),
              GetSysColorBrush(COLOR_SCROLLBAR));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_SCROLLBAR));

    // Background below -1: transparent over the null brush.
    LockedRecord(label)->backgroundColour = COLOUR_NOT_SET;
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_CTLCOLORSTATIC, device, control)),
              GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    ReleaseDC(label, dc);
}

// ---- owner-drawn surfaces ------------------------------------------------------------------------

// A memory DC with a bitmap of one colour.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ replaced = nullptr;
};
Canvas solidCanvas(int width, int height, COLORREF colour) {
    Canvas canvas;
    HDC screen = GetDC(nullptr);
    canvas.dc = CreateCompatibleDC(screen);
    canvas.bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    canvas.replaced = SelectObject(canvas.dc, canvas.bitmap);
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(canvas.dc, &all, brush);
    DeleteObject(brush);
    return canvas;
}

TEST_F(EngineTest, DrawItemPaintsASurfaceFromItsBitmap) {
    HWND dialog = hiddenDialog(UnitMode::Pixels);
    // A surface the way the canvas window makes one: an owner-drawn static with a
    // GraphicSurface record whose memory DC holds the picture.
    HWND surface = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | SS_OWNERDRAW, 0, 0, 8, 8, dialog, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(surface, nullptr);
    const Canvas picture = solidCanvas(8, 8, RGB(255, 0, 0));
    ASSERT_TRUE(newRecord(surface, [&](WindowRecord& record) {
        record.parent = dialog;
        record.kind = ControlKind::GraphicSurface;
        record.surface = new SurfaceState;
        record.surface->memoryDc.reset(picture.dc);
        record.surface->backingBitmap.reset(picture.bitmap);
        record.surface->replacedBitmap = picture.replaced;
        record.surface->width = 8;
        record.surface->height = 8;
    }));
    setSurfaceHooks(SurfaceHooks{paintSurface, selectSurfaceFont});  // as the canvas hands them over
    addControl(dialog, 40, ControlKind::StaticLabel, "plain", 10, 10, 8, 8, 0, 0);

    struct Case {
        const char* name;
        HWND item;
        UINT action;
        INT_PTR expectResult;
        COLORREF expectPixel;
    };
    const Case cases[] = {
        {"surface, whole item", surface, ODA_DRAWENTIRE, TRUE, RGB(255, 0, 0)},
        {"surface, focus only", surface, ODA_FOCUS, TRUE, RGB(255, 255, 255)},  // handled, nothing copied
        {"ordinary control", controlHandle(dialog, 40), ODA_DRAWENTIRE, FALSE, RGB(255, 255, 255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Canvas target = solidCanvas(8, 8, RGB(255, 255, 255));
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_STATIC;
        item.itemAction = c.action;
        item.hwndItem = c.item;
        item.hDC = target.dc;
        item.rcItem = {0, 0, 8, 8};
        EXPECT_EQ(engineDialogProc(dialog, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item)), c.expectResult);
        EXPECT_EQ(GetPixel(target.dc, 3, 5), c.expectPixel);
        SelectObject(target.dc, target.replaced);
        DeleteObject(target.bitmap);
        DeleteDC(target.dc);
    }
    // The surface's DC and bitmap go with the records.
    DestroyWindow(dialog);
    EXPECT_EQ(GetObjectType(picture.dc), 0u);
    EXPECT_EQ(GetObjectType(picture.bitmap), 0u);
}

// ---- message box -----------------------------------------------------------------------------

struct BoxSeen {
    std::wstring title;
    std::wstring text;
};
BoxSeen boxSeen;

// This process's visible dialog-class window: the message box (the tests' own dialogs
// are hidden). Other Wine programs share the desktop and may show dialogs of their own.
BOOL CALLBACK findVisibleBox(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) {
        return TRUE;
    }
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Reads the message box's caption and text, then dismisses it (again and again,
// in case the first request arrives before the box's own loop runs).
DWORD WINAPI dismissMessageBox(void*) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        Sleep(10);
        HWND box = nullptr;
        EnumWindows(findVisibleBox, reinterpret_cast<LPARAM>(&box));
        if (box == nullptr) {
            continue;
        }
        boxSeen.title = windowText(box);
        HWND label = GetDlgItem(box, 0xFFFF);
        if (label != nullptr) {
            boxSeen.text = windowText(label);
        }
        for (int press = 0; press < 200 && IsWindow(box); ++press) {
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            Sleep(25);
        }
        return 0;
    }
    return 1;
}

TEST(MessageBoxService, DefaultTitleAndResult) {
    Watchdog dog(60000);
    struct Case {
        const char* title;
        const wchar_t* expectedTitle;
    };
    const Case cases[] = {
        {"", L"Kestrelvox"},  // empty title: the engine's default
        {"Bankroll", L"Bankroll"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        boxSeen = {};
        HANDLE thread = CreateThread(nullptr, 0, dismissMessageBox, nullptr, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        const int pressed = messageBox("Text \xE9", c.title, MB_OK);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        EXPECT_EQ(pressed, IDOK);
        EXPECT_EQ(boxSeen.title, c.expectedTitle);
        EXPECT_EQ(boxSeen.text, L"Text \u00E9");
    }
}

}  // namespace
}  // namespace roi
