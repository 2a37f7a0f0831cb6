// The in-memory dialog template (see dialog_template.h).
#include "ui/dialog_template.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "app/runtime.h"
#include "core/rounding.h"
#include "ui/font_table.h"

namespace roi {

namespace {

constexpr DWORD DEFAULT_DIALOG_STYLE = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;
constexpr DWORD DIALOG_ALWAYS_SET = DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;
static_assert(DEFAULT_DIALOG_STYLE == 0x80C000D4);
static_assert(DIALOG_ALWAYS_SET == 0x54);

void putWord(std::vector<WORD>& words, unsigned value) {
    words.push_back(static_cast<WORD>(value & 0xFFFF));
}

void putDword(std::vector<WORD>& words, DWORD value) {
    putWord(words, value & 0xFFFF);  // little-endian: low half first
    putWord(words, value >> 16);
}

void putText(std::vector<WORD>& words, std::wstring_view text) {
    for (wchar_t unit : text) {
        putWord(words, static_cast<unsigned>(unit));
    }
    putWord(words, 0);
}

// Template coordinates are 16-bit; a centred position's marker stands for 0 there.
short templateCoordinate(int value) {
    if (value == CENTRED) {
        return 0;
    }
    return static_cast<short>(std::clamp(value, SHRT_MIN, SHRT_MAX));
}

}  // namespace

DWORD dialogStyle(DWORD style, int x, int y, bool hasParent) {
    if (style == 0) {
        style = DEFAULT_DIALOG_STYLE;
    }
    style |= DIALOG_ALWAYS_SET;
    style &= ~static_cast<DWORD>(WS_VISIBLE | DS_SYSMODAL);  // created hidden, never system-modal
    if (x == CENTRED || y == CENTRED) {
        style |= DS_CENTER;
    }
    if ((style & WS_CHILD) != 0) {
        style &= ~static_cast<DWORD>(WS_POPUP | DS_ABSALIGN);
        if (!hasParent) {
            style = (style & ~static_cast<DWORD>(WS_CHILD)) | WS_POPUP;
        }
    }
    return style;
}

void alignToDword(std::vector<WORD>& words) {
    if (words.size() % 2 != 0) {
        words.push_back(0);
    }
}

std::vector<WORD> buildDialogTemplate(DWORD style, DWORD extendedStyle, int x, int y, int width, int height,
                                      const TemplateFont& font) {
    std::vector<WORD> words;
    words.reserve(32 + font.face.size());
    putWord(words, 1);       // dlgVer
    putWord(words, 0xFFFF);  // signature: the extended form
    putDword(words, 0);      // helpID
    putDword(words, extendedStyle);
    putDword(words, style);
    putWord(words, 0);  // cDlgItems: controls are added as windows afterwards
    putWord(words, static_cast<WORD>(templateCoordinate(x)));
    putWord(words, static_cast<WORD>(templateCoordinate(y)));
    putWord(words, static_cast<WORD>(templateCoordinate(width)));
    putWord(words, static_cast<WORD>(templateCoordinate(height)));
    putWord(words, 0);     // menu: none
    putWord(words, 0);     // windowClass: the dialog class
    putText(words, L" ");  // title: the caption is set as UTF-16 text after creation
    if ((style & (DS_SETFONT | DS_SHELLFONT)) != 0) {
        putWord(words, font.pointSize);
        putWord(words, font.weight);
        putWord(words, static_cast<unsigned>(font.italic) | (static_cast<unsigned>(font.charSet) << 8));
        putText(words, font.face);
    }
    alignToDword(words);  // items, had there been any, would start here
    return words;
}

TemplateFont defaultTemplateFont() {
    FontRecord font;
    if (!fontInfo(threadRecord().defaultDialogFont, font)) {
        // No table yet or a number it does not hold: the built-in font 1.
        createDefaultFonts();
        if (!fontInfo(1, font)) {
            return TemplateFont{8, FW_NORMAL, 0, 0, L"MS Sans Serif"};
        }
    }
    TemplateFont part;
    long double points = static_cast<long double>(font.points);
    if (!(points >= 0.0L && points <= 32000.0L)) {
        points = 0.0L;  // a negated or unusable size has no meaning for a template
    }
    part.pointSize = static_cast<WORD>(roundHalfEven(points));
    // Any weight but 0 goes into the template as 700. The bold dialog font makes the
    // dialog unit wider: with the font's own 400 the result cells of MainDialog are
    // narrower than the 10-point bold numbers they show (measured under Wine at 96 and
    // 144 DPI); bold, every text of the window fits. Labels and buttons come out bold.
    part.weight = font.logFont.lfWeight != 0 ? FW_BOLD : FW_NORMAL;
    part.italic = font.logFont.lfItalic != 0 ? 1 : 0;
    part.charSet = font.logFont.lfCharSet;
    // The face that grows with this screen's scale, as every realised font asks it.
    part.face = faceForScreen(font.logFont.lfFaceName);
    return part;
}

}  // namespace roi
