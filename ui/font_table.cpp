// The numbered font table (see font_table.h).
#include "ui/font_table.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <deque>
#include <iterator>
#include <new>

#include "app/runtime.h"
#include "app/spin_lock.h"
#include "ui/scoped_gdi.h"

namespace roi {

namespace {

SpinLock fontLock;
// A deque, so a record keeps its address while the table grows.
std::deque<FontRecord> fontTable;

constexpr int BUILT_IN_FONTS = 3;

// The record of number, or null. fontLock held.
FontRecord* fontLocked(int number) {
    if (number < 1 || static_cast<std::size_t>(number) > fontTable.size()) {
        return nullptr;
    }
    return &fontTable[static_cast<std::size_t>(number - 1)];
}

// The part of a LOGFONTW that tells two requests apart: lfEscapement through
// lfFaceName. lfHeight is only filled in by realising, and lfWidth is always 0.
constexpr std::size_t LOGFONT_KEY_OFFSET = offsetof(LOGFONTW, lfEscapement);
constexpr std::size_t LOGFONT_KEY_SIZE = sizeof(LOGFONTW) - LOGFONT_KEY_OFFSET;
static_assert(LOGFONT_KEY_SIZE == 84, "lfEscapement through lfFaceName");

bool sameRequest(const FontRecord& record, float points, const LOGFONTW& logFont) {
    return record.points == points &&
           std::memcmp(reinterpret_cast<const char*>(&record.logFont) + LOGFONT_KEY_OFFSET,
                       reinterpret_cast<const char*>(&logFont) + LOGFONT_KEY_OFFSET, LOGFONT_KEY_SIZE) == 0;
}

LOGFONTW builtInLogFont(const wchar_t* face, BYTE pitchAndFamily) {
    LOGFONTW logFont = {};
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = 0;
    logFont.lfPitchAndFamily = pitchAndFamily;
    // The face names fit; the rest of the array stays zero for the comparison.
    std::wcsncpy(logFont.lfFaceName, face, LF_FACESIZE - 1);
    return logFont;
}

// Raster faces and the scalable face of the same design that stands in for them.
struct ScalableTwin {
    const wchar_t* raster;
    const wchar_t* scalable;
};
constexpr ScalableTwin SCALABLE_TWINS[] = {{L"MS Sans Serif", L"Microsoft Sans Serif"}};

// A raster face is kept while it realises at least 7/8 of the height asked: its designs
// come in steps, and the step nearest below the size asked may be a pixel or two short.
constexpr int KEPT_EIGHTHS = 7;

// What faceForScreen decided, per raster face. fontLock held.
struct FaceChoice {
    const wchar_t* raster;
    bool replaced;
};
std::deque<FaceChoice> faceChoices;

// The vertical resolution of window's DC (the screen's for a null window), or 0 without a DC.
int pixelsPerInchOf(HWND window) {
    WorkingWordOnExit reload;  // declared first, so loaded after the DC is given back
    WindowDc dc(window);
    return dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
}

// A face as the screen realises it when asked for at points: its character height
// (cell height less internal leading) against the height asked, and the face's name.
struct Realised {
    int asked = 0;
    long height = 0;
    std::wstring face;
};

Realised realiseOnScreen(const wchar_t* face, float points) {
    WorkingWordOnExit reload;  // declared first, so loaded after the DC is given back
    Realised realised;
    WindowDc screen(nullptr);
    if (!screen) {
        return realised;
    }
    realised.asked = -fontHeightFor(GetDeviceCaps(screen, LOGPIXELSY), points);
    LOGFONTW probe = builtInLogFont(face, 0);
    probe.lfHeight = -realised.asked;
    GdiObject<HFONT> font(CreateFontIndirectW(&probe));
    if (!font) {
        return realised;
    }
    const HGDIOBJ previous = SelectObject(screen, font.get());
    TEXTMETRICW metrics = {};
    wchar_t name[LF_FACESIZE] = {};
    if (GetTextMetricsW(screen, &metrics) != FALSE && GetTextFaceW(screen, LF_FACESIZE, name) > 0) {
        realised.height = metrics.tmHeight - metrics.tmInternalLeading;
        realised.face = name;
    }
    SelectObject(screen, previous);
    return realised;
}

// The raster face gives way when it falls short and its twin is really there: a
// system without the twin would hand over some other face, whose figures need more
// room than the cells, sized for this design, have.
bool replaceOnScreen(const ScalableTwin& twin, float points) {
    const Realised raster = realiseOnScreen(twin.raster, points);
    if (raster.asked <= 0 || raster.height * 8 >= static_cast<long>(raster.asked) * KEPT_EIGHTHS) {
        return false;
    }
    const Realised scalable = realiseOnScreen(twin.scalable, points);
    return _wcsicmp(scalable.face.c_str(), twin.scalable) == 0;
}

}  // namespace

// ---- faces on this screen -----------------------------------------------------------

std::wstring faceForScreen(const wchar_t* face) {
    const ScalableTwin* twin = nullptr;
    for (const ScalableTwin& candidate : SCALABLE_TWINS) {
        if (face != nullptr && _wcsicmp(face, candidate.raster) == 0) {
            twin = &candidate;
        }
    }
    if (twin == nullptr) {
        return face != nullptr ? face : L"";
    }
    {
        LockGuard guard(fontLock);
        for (const FaceChoice& choice : faceChoices) {
            if (choice.raster == twin->raster) {
                return choice.replaced ? twin->scalable : face;
            }
        }
    }
    // The window's dialog units come from the default dialog font: its size decides.
    FontRecord dialogFont;
    const float points = fontInfo(1, dialogFont) ? dialogFont.points : 8.0f;
    const bool replaced = replaceOnScreen(*twin, points);
    LockGuard guard(fontLock);
    try {
        faceChoices.push_back({twin->raster, replaced});
    } catch (const std::bad_alloc&) {
        // Not remembered: the next request measures again and decides the same.
    }
    return replaced ? twin->scalable : face;
}

// ---- font table -------------------------------------------------------------------

int fontHeightFor(int pixelsPerInch, float points) {
    // Computed in extended precision; the nearest integer, halves to even.
    const long double exact = static_cast<long double>(pixelsPerInch) * static_cast<long double>(points) / 72.0L;
    if (exact != exact) {
        return 0;  // no size at all: the face's default height
    }
    const bool negative = exact < 0;
    const long double magnitude = negative ? -exact : exact;
    if (!(magnitude < 2147483647.0L)) {
        return negative ? 2147483647 : -2147483647;  // not a usable font height anyway
    }
    long long whole = static_cast<long long>(magnitude);
    const long double fraction = magnitude - static_cast<long double>(whole);
    if (fraction > 0.5L || (fraction == 0.5L && (whole % 2) != 0)) {
        ++whole;
    }
    const long long rounded = negative ? -whole : whole;
    return static_cast<int>(-rounded);
}

int findOrAddFont(float points, const LOGFONTW& logFont) {
    LockGuard guard(fontLock);
    for (const FontRecord& record : fontTable) {
        if (sameRequest(record, points, logFont)) {
            return record.number;
        }
    }
    FontRecord fresh;
    fresh.number = static_cast<int>(fontTable.size()) + 1;
    fresh.points = points;
    fresh.logFont = logFont;
    fresh.logFont.lfHeight = 0;
    fresh.logFont.lfWidth = 0;
    try {
        fontTable.push_back(fresh);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return fresh.number;
}

bool fontInfo(int number, FontRecord& out) {
    LockGuard guard(fontLock);
    const FontRecord* record = fontLocked(number);
    if (record == nullptr) {
        return false;
    }
    out = *record;
    return true;
}

int fontCount() {
    LockGuard guard(fontLock);
    return static_cast<int>(fontTable.size());
}

HFONT realiseFont(int number, HWND forWindow) {
    FontRecord request;
    {
        LockGuard guard(fontLock);
        const FontRecord* record = fontLocked(number);
        if (record == nullptr) {
            return nullptr;
        }
        if (record->realised != nullptr) {
            return record->realised;
        }
        request = *record;
    }
    const int pixelsPerInch = pixelsPerInchOf(forWindow);
    if (pixelsPerInch == 0) {
        return nullptr;
    }
    request.logFont.lfHeight = fontHeightFor(pixelsPerInch, request.points);
    // The record keeps the face asked for; GDI gets the one that grows with this screen.
    const std::wstring face = faceForScreen(request.logFont.lfFaceName);
    std::fill(std::begin(request.logFont.lfFaceName), std::end(request.logFont.lfFaceName), L'\0');
    std::wcsncpy(request.logFont.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    GdiObject<HFONT> font(CreateFontIndirectW(&request.logFont));
    loadWorkingControlWord();
    if (!font) {
        return nullptr;
    }
    // Declared after the font, the guard is let go first: a font another thread realised
    // meanwhile wins, one GDI font per record, and this one is deleted outside the lock.
    LockGuard guard(fontLock);
    FontRecord* record = fontLocked(number);
    if (record->realised != nullptr) {
        return record->realised;
    }
    record->realised = font.release();
    record->logFont.lfHeight = request.logFont.lfHeight;
    return record->realised;
}

void addFontReference(int number) {
    LockGuard guard(fontLock);
    FontRecord* record = fontLocked(number);
    if (record != nullptr) {
        ++record->references;
    }
}

void dropFontReference(int number) {
    LockGuard guard(fontLock);
    FontRecord* record = fontLocked(number);
    if (record != nullptr && record->references > 0) {
        --record->references;
    }
}

bool unrealiseFont(int number) {
    HFONT font = nullptr;
    {
        LockGuard guard(fontLock);
        FontRecord* record = fontLocked(number);
        if (number <= BUILT_IN_FONTS || record == nullptr || record->references != 0 || record->realised == nullptr) {
            return false;
        }
        font = record->realised;
        record->realised = nullptr;
        record->logFont.lfHeight = 0;
    }
    DeleteObject(font);
    return true;
}

void createDefaultFonts() {
    struct BuiltIn {
        const wchar_t* face;
        float points;
        BYTE pitchAndFamily;
    };
    static constexpr BuiltIn BUILT_INS[BUILT_IN_FONTS] = {
        {L"MS Sans Serif", 8.0f, 0},
        {L"Lucida Console", 0.0f, FIXED_PITCH},  // size 0: the face's default height
        {L"Lucida Console", 11.0f, FIXED_PITCH},
    };
    LockGuard guard(fontLock);
    if (!fontTable.empty()) {
        return;
    }
    for (const BuiltIn& builtIn : BUILT_INS) {
        FontRecord record;
        record.number = static_cast<int>(fontTable.size()) + 1;
        record.references = 1;  // never released
        record.points = builtIn.points;
        record.logFont = builtInLogFont(builtIn.face, builtIn.pitchAndFamily);
        fontTable.push_back(record);
    }
}

}  // namespace roi
