// Tests of the numbered font table under Wine: font heights, the built-in fonts, one
// number per request, and the references controls hold until their window goes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/support/dialog_fixture.h"
#include "ui/dialog_engine.h"
#include "ui/font_table.h"
#include "ui/window_records.h"

namespace roi {
namespace {

using roi_test::EngineTest;

TEST(FontHeightFor, RoundsHalvesToEven) {
    struct Case {
        int dpi;
        float points;
        int expected;
    };
    const Case cases[] = {
        {96, 8.0f, -11},   // 10.67
        {96, 10.0f, -13},  // 13.33
        {96, 11.0f, -15},  // 14.67
        {120, 8.0f, -13},  // 13.33
        {144, 9.0f, -18},  // exact
        {72, 2.5f, -2},    // half: to even, down
        {72, 3.5f, -4},    // half: to even, up
        {72, -2.5f, 2},    // negated size: positive height, still to even
        {96, 0.0f, 0},     // size 0: the face's default
        {96, NAN, 0},      // no size at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi, " << c.points << " pt");
        EXPECT_EQ(fontHeightFor(c.dpi, c.points), c.expected);
    }
}

TEST(BuiltInFonts, ThreeFontsFromStartUp) {
    createDefaultFonts();
    createDefaultFonts();  // repeated calls add nothing
    ASSERT_GE(fontCount(), 3);
    struct Case {
        int number;
        const wchar_t* face;
        float points;
        BYTE pitchAndFamily;
    };
    const Case cases[] = {
        {1, L"MS Sans Serif", 8.0f, 0},
        {2, L"Lucida Console", 0.0f, FIXED_PITCH},
        {3, L"Lucida Console", 11.0f, FIXED_PITCH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        FontRecord font;
        ASSERT_TRUE(fontInfo(c.number, font));
        EXPECT_EQ(font.number, c.number);
        EXPECT_EQ(std::wstring(font.logFont.lfFaceName), c.face);
        EXPECT_EQ(font.points, c.points);
        EXPECT_EQ(font.logFont.lfWeight, FW_NORMAL);
        EXPECT_EQ(font.logFont.lfCharSet, 0);
        EXPECT_EQ(font.logFont.lfPitchAndFamily, c.pitchAndFamily);
        EXPECT_GE(font.references, 1);
    }
    FontRecord none;
    EXPECT_FALSE(fontInfo(0, none));
    EXPECT_FALSE(fontInfo(fontCount() + 1, none));
}

TEST(FontNumbers, SameRequestSameNumber) {
    createDefaultFonts();
    const int cell = createFont("MS Sans Serif", 10, FONT_BOLD, 0, 0, 0);
    ASSERT_GT(cell, 3);
    const std::string longFace(40, 'F');
    struct Case {
        const char* name;
        int number;
        bool same;
    };
    const Case cases[] = {
        {"identical", createFont("MS Sans Serif", 10, FONT_BOLD, 0, 0, 0), true},
        {"not bold", createFont("MS Sans Serif", 10, 0, 0, 0, 0), false},
        {"other size", createFont("MS Sans Serif", 10.5f, FONT_BOLD, 0, 0, 0), false},
        {"other face", createFont("Arial", 10, FONT_BOLD, 0, 0, 0), false},
        {"italic", createFont("MS Sans Serif", 10, FONT_BOLD | FONT_ITALIC, 0, 0, 0), false},
        {"charset", createFont("MS Sans Serif", 10, FONT_BOLD, 2, 0, 0), false},
        {"pitch", createFont("MS Sans Serif", 10, FONT_BOLD, 0, 1, 0), false},
        {"escapement", createFont("MS Sans Serif", 10, FONT_BOLD, 0, 0, 900), false},
        {"negated", createFont("MS Sans Serif", 10, FONT_BOLD | FONT_NEGATE_SIZE, 0, 0, 0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.number == cell, c.same);
        EXPECT_GT(c.number, 0);
    }
    // The request that matches built-in font 1 is font 1.
    EXPECT_EQ(createFont("MS Sans Serif", 8, 0, 0, 0, 0), 1);
    // Size 0 is 8 points.
    EXPECT_EQ(createFont("MS Sans Serif", 0, 0, 0, 0, 0), 1);
    // Faces are cut to 31 units, so only the first 31 tell two fonts apart.
    EXPECT_EQ(createFont(longFace, 9, 0, 0, 0, 0), createFont(longFace.substr(0, 31), 9, 0, 0, 0, 0));
    EXPECT_NE(createFont(longFace.substr(0, 30), 9, 0, 0, 0, 0), createFont(longFace.substr(0, 31), 9, 0, 0, 0, 0));
    // Numbers are positions: a new font is the table's new length.
    const int before = fontCount();
    EXPECT_EQ(createFont("Engine Test Face", 12, FONT_UNDERLINE | FONT_STRIKEOUT, 0, 0, 0), before + 1);
    FontRecord added;
    ASSERT_TRUE(fontInfo(before + 1, added));
    EXPECT_EQ(added.references, 0);
    EXPECT_EQ(added.realised, nullptr);
    EXPECT_EQ(added.logFont.lfUnderline, 1);
    EXPECT_EQ(added.logFont.lfStrikeOut, 1);
    EXPECT_EQ(added.logFont.lfItalic, 0);
    EXPECT_EQ(added.logFont.lfWeight, FW_NORMAL);
    FontRecord negated;
    ASSERT_TRUE(fontInfo(createFont("MS Sans Serif", 10, FONT_NEGATE_SIZE, 0, 0, 0), negated));
    EXPECT_EQ(negated.points, -10.0f);
    FontRecord turned;
    ASSERT_TRUE(fontInfo(createFont("Arial", 10, 0, 0, 0, 450), turned));
    EXPECT_EQ(turned.logFont.lfEscapement, 450);
    EXPECT_EQ(turned.logFont.lfOrientation, 450);
}

TEST_F(EngineTest, FontReferencesAndRelease) {
    const int cell = createFont("MS Sans Serif", 10, FONT_BOLD, 0, 0, 0);
    HWND dialog = hiddenDialog();
    addControl(dialog, 1001, ControlKind::EditBox, "", 5, 5, 60, 12, 0, 0);
    addControl(dialog, 1002, ControlKind::EditBox, "", 5, 25, 60, 12, 0, 0);
    HWND first = controlHandle(dialog, 1001);
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));

    setControlFont(dialog, 1001, cell);
    setControlFont(dialog, 1002, cell);
    FontRecord font;
    ASSERT_TRUE(fontInfo(cell, font));
    EXPECT_EQ(font.references, 2);
    ASSERT_NE(font.realised, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(first, WM_GETFONT, 0, 0)), font.realised);
    // The realised font: bold, 10 points at the screen's resolution.
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    LOGFONTW realised = {};
    ASSERT_NE(GetObjectW(font.realised, sizeof realised, &realised), 0);
    EXPECT_EQ(realised.lfHeight, fontHeightFor(dpi, 10.0f));
    EXPECT_EQ(realised.lfWeight, FW_BOLD);
    EXPECT_EQ(std::wstring(realised.lfFaceName), L"MS Sans Serif");
    EXPECT_EQ(LockedRecord(first)->initialFont, dialogFont);

    // Setting the same font again keeps the count; setting another moves it.
    setControlFont(dialog, 1001, cell);
    ASSERT_TRUE(fontInfo(cell, font));
    EXPECT_EQ(font.references, 2);
    setControlFont(dialog, 1002, 0);  // 0 is font 1
    ASSERT_TRUE(fontInfo(cell, font));
    EXPECT_EQ(font.references, 1);
    EXPECT_EQ(LockedRecord(controlHandle(dialog, 1002))->font, 1);

    // Still referenced: releaseFont leaves it alone.
    releaseFont(cell);
    ASSERT_TRUE(fontInfo(cell, font));
    EXPECT_NE(font.realised, nullptr);
    HFONT gdiFont = font.realised;

    // The window goes; its control gets its first font back and the reference drops.
    DestroyWindow(dialog);
    ASSERT_TRUE(fontInfo(cell, font));
    EXPECT_EQ(font.references, 0);
    EXPECT_EQ(GetObjectType(gdiFont), static_cast<DWORD>(OBJ_FONT));
    releaseFont(cell);
    EXPECT_EQ(GetObjectType(gdiFont), 0u);
    ASSERT_TRUE(fontInfo(cell, font));
    EXPECT_EQ(font.realised, nullptr);
    // The number stays valid and realises again.
    HFONT again = realiseFont(cell, nullptr);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(GetObjectType(again), static_cast<DWORD>(OBJ_FONT));
    releaseFont(cell);
    EXPECT_EQ(GetObjectType(again), 0u);
}

TEST_F(EngineTest, BuiltInFontsAreNeverReleased) {
    HWND dialog = hiddenDialog();
    addControl(dialog, 9, ControlKind::StaticLabel, "x", 5, 5, 60, 12, 0, 0);
    setControlFont(dialog, 9, 1);
    DestroyWindow(dialog);
    for (int number = 1; number <= 3; ++number) {
        SCOPED_TRACE(number);
        HFONT font = realiseFont(number, nullptr);
        ASSERT_NE(font, nullptr);
        releaseFont(number);
        EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
        FontRecord info;
        ASSERT_TRUE(fontInfo(number, info));
        EXPECT_EQ(info.realised, font);
        EXPECT_GE(info.references, 1);
    }
}

}  // namespace
}  // namespace roi
