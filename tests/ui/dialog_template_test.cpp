// Tests of the in-memory dialog template: its words read back field by field, the
// padding to a DWORD boundary and the final dialog style. No window is made.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/dialog_template.h"

namespace roi {
namespace {

// Reads a built template back, word by word.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<WORD>& words) : words_(words) {}
    WORD word() { return at_ < words_.size() ? words_[at_++] : 0xDEAD; }
    DWORD dword() {
        const DWORD low = word();
        const DWORD high = word();
        return low | (high << 16);
    }
    std::wstring text() {
        std::wstring result;
        while (at_ < words_.size() && words_[at_] != 0) {
            result += static_cast<wchar_t>(words_[at_++]);
        }
        ++at_;  // the terminating zero
        return result;
    }
    std::size_t position() const { return at_; }

private:
    const std::vector<WORD>& words_;
    std::size_t at_ = 0;
};

TEST(BuildDialogTemplate, FieldsReadBackInOrder) {
    struct Case {
        const char* name;
        DWORD style;
        DWORD extendedStyle;
        int x, y, width, height;
        TemplateFont font;
        short expectX, expectY, expectWidth, expectHeight;
    };
    const Case cases[] = {
        {"default font", 0x80C000D4, 0, 10, 20, 300, 200, {8, 400, 0, 0, L"MS Sans Serif"}, 10, 20, 300, 200},
        // centred positions stand as 0 in the template; an even-length face needs padding
        {"centred", 0x84CE08D4, 0x10000, CENTRED, CENTRED, 408, 210, {10, 700, 1, 2, L"Arial"}, 0, 0, 408, 210},
        // 16-bit fields: out-of-range values are clamped, not wrapped
        {"clamped", 0x80C000D4, 0, -5, 40000, -40000, 7, {9, 400, 0, 186, L"Tahoma"}, -5, 32767, -32768, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<WORD> words =
            buildDialogTemplate(c.style, c.extendedStyle, c.x, c.y, c.width, c.height, c.font);
        TemplateReader read(words);
        EXPECT_EQ(read.word(), 1);       // dlgVer
        EXPECT_EQ(read.word(), 0xFFFF);  // signature
        EXPECT_EQ(read.dword(), 0u);     // helpID
        EXPECT_EQ(read.dword(), c.extendedStyle);
        EXPECT_EQ(read.dword(), c.style);
        EXPECT_EQ(read.word(), 0);  // cDlgItems
        EXPECT_EQ(static_cast<short>(read.word()), c.expectX);
        EXPECT_EQ(static_cast<short>(read.word()), c.expectY);
        EXPECT_EQ(static_cast<short>(read.word()), c.expectWidth);
        EXPECT_EQ(static_cast<short>(read.word()), c.expectHeight);
        EXPECT_EQ(read.word(), 0);  // no menu
        EXPECT_EQ(read.word(), 0);  // no class
        EXPECT_EQ(read.text(), L" ");
        EXPECT_EQ(read.word(), c.font.pointSize);
        EXPECT_EQ(read.word(), c.font.weight);
        const WORD italicAndCharSet = read.word();
        EXPECT_EQ(italicAndCharSet & 0xFF, c.font.italic);
        EXPECT_EQ(italicAndCharSet >> 8, c.font.charSet);
        EXPECT_EQ(read.text(), c.font.face);
        // Ends on a DWORD boundary, with at most one zero word of padding.
        EXPECT_EQ(words.size() % 2, 0u);
        ASSERT_LE(read.position(), words.size());
        EXPECT_LE(words.size() - read.position(), 1u);
        if (read.position() < words.size()) {
            EXPECT_EQ(words.back(), 0);
        }
    }
}

TEST(BuildDialogTemplate, NoFontPartWithoutSetFont) {
    const std::vector<WORD> words =
        buildDialogTemplate(WS_POPUP | WS_CAPTION, 0, 0, 0, 10, 10, TemplateFont{8, 400, 0, 0, L"MS Sans Serif"});
    // 13 words of header, menu, class, " " and its zero: 17 words, padded to 18.
    EXPECT_EQ(words.size(), 18u);
    EXPECT_EQ(words[15], L' ');
}

TEST(AlignToDword, PadsOddLengthsWithOneZero) {
    struct Case {
        std::size_t before;
        std::size_t after;
    };
    const Case cases[] = {{0, 0}, {1, 2}, {2, 2}, {3, 4}, {18, 18}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        std::vector<WORD> words(c.before, 0x7777);
        alignToDword(words);
        EXPECT_EQ(words.size(), c.after);
        if (c.after > c.before) {
            EXPECT_EQ(words.back(), 0);
        }
    }
}

TEST(DialogStyle, DefaultsAndFixedBits) {
    struct Case {
        const char* name;
        DWORD style;
        int x, y;
        bool hasParent;
        DWORD expected;
    };
    const Case cases[] = {
        {"0 is the default style", 0, 0, 0, false, 0x80C000D4},
        // the main window's style: WS_VISIBLE goes, the window is created hidden
        {"visible removed", 0x94CE00D4, 0, 0, false, 0x84CE00D4},
        {"font bits always added", WS_POPUP | WS_CAPTION, 5, 5, false, 0x80C00054},
        {"system modal removed", 0x80C00002, 0, 0, false, 0x80C00054},
        {"centred x", 0, CENTRED, 7, false, 0x80C008D4},
        {"centred y", 0, 7, CENTRED, false, 0x80C008D4},
        // a child loses WS_POPUP and DS_ABSALIGN; without a parent it becomes a popup
        {"child without parent", 0xC0C00001, 0, 0, false, 0x80C00054},
        {"child with parent", 0xC0C00001, 0, 0, true, 0x40C00054},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dialogStyle(c.style, c.x, c.y, c.hasParent), c.expected);
    }
}

}  // namespace
}  // namespace roi
