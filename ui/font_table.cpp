// The numbered font table (see font_table.h).
#include "ui/font_table.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <deque>
#include <iterator>
#include <new>

#include "app/runtime.h"
#include "app/spin_lock.h"
#include "app/system_call.h"
#include "core/ascii_case.h"
#include "core/rounding.h"
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

// What faceForScreen decided for each twin, in SCALABLE_TWINS' order. Two threads may
// decide at once; they measure the same screen and store the same answer.
enum FaceChoice : int { UNDECIDED, KEPT, REPLACED };
std::atomic<int> faceChoices[std::size(SCALABLE_TWINS)] = {};

// The vertical resolution of window's DC (the screen's for a null window), or 0 without a DC.
int pixelsPerInchOf(HWND window) {
    WindowDc dc(window);
    return dc ? ROI_SYSTEM(GetDeviceCaps(dc, LOGPIXELSY)) : 0;
}

// What the screen realises for face asked for at points: the character height (cell
// height less internal leading) and the face's name, against the height asked. False
// when there is no screen DC or no font.
bool realiseOnScreen(const wchar_t* face, float points, int& asked, long& height, wchar_t (&name)[LF_FACESIZE]) {
    WindowDc screen(nullptr);
    if (!screen) {
        return false;
    }
    asked = -fontHeightFor(ROI_SYSTEM(GetDeviceCaps(screen, LOGPIXELSY)), points);
    LOGFONTW probe = builtInLogFont(face, 0);
    probe.lfHeight = -asked;
    GdiObject<HFONT> font(ROI_SYSTEM(CreateFontIndirectW(&probe)));
    if (!font) {
        return false;
    }
    SelectedObject selection(screen, font.get());
    TEXTMETRICW metrics = {};
    const bool measured = ROI_SYSTEM(GetTextMetricsW(screen, &metrics)) != FALSE &&
                          ROI_SYSTEM(GetTextFaceW(screen, LF_FACESIZE, name)) > 0;
    selection.restore();
    height = metrics.tmHeight - metrics.tmInternalLeading;
    return measured;
}

// The raster face gives way when it falls short and its twin is really there: a
// system without the twin would hand over some other face, whose figures need more
// room than the cells, sized for this design, have.
bool replaceOnScreen(const ScalableTwin& twin, float points) {
    int asked = 0;
    long height = 0;
    wchar_t name[LF_FACESIZE] = {};
    if (!realiseOnScreen(twin.raster, points, asked, height, name) || asked <= 0 ||
        height * 8 >= static_cast<long>(asked) * KEPT_EIGHTHS) {
        return false;
    }
    return realiseOnScreen(twin.scalable, points, asked, height, name) && sameIgnoringAsciiCase(name, twin.scalable);
}

}  // namespace

// ---- faces on this screen -----------------------------------------------------------

std::wstring faceForScreen(const wchar_t* face) {
    std::size_t found = std::size(SCALABLE_TWINS);
    for (std::size_t i = 0; i < std::size(SCALABLE_TWINS); ++i) {
        if (face != nullptr && sameIgnoringAsciiCase(face, SCALABLE_TWINS[i].raster)) {
            found = i;
        }
    }
    if (found == std::size(SCALABLE_TWINS)) {
        return face != nullptr ? face : L"";
    }
    const ScalableTwin& twin = SCALABLE_TWINS[found];
    int choice = faceChoices[found].load();
    if (choice == UNDECIDED) {
        // The window's dialog units come from the default dialog font: its size decides.
        FontRecord dialogFont;
        const float points = fontInfo(1, dialogFont) ? dialogFont.points : 8.0f;
        choice = replaceOnScreen(twin, points) ? REPLACED : KEPT;
        faceChoices[found].store(choice);
    }
    return choice == REPLACED ? twin.scalable : twin.raster;
}

// ---- font table -------------------------------------------------------------------

int fontHeightFor(int pixelsPerInch, float points) {
    // Computed in extended precision; the nearest integer, halves to even.
    const long double exact = static_cast<long double>(pixelsPerInch) * static_cast<long double>(points) / 72.0L;
    if (exact != exact) {
        return 0;  // no size at all: the face's default height
    }
    if (!(exact < 2147483647.0L && exact > -2147483647.0L)) {
        return exact < 0 ? 2147483647 : -2147483647;  // not a usable font height anyway
    }
    return static_cast<int>(-roundHalfEven(exact));
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
    GdiObject<HFONT> font(ROI_SYSTEM(CreateFontIndirectW(&request.logFont)));
    if (!font) {
        return nullptr;
    }
    // A font another thread realised meanwhile wins, one GDI font per record; this one
    // is then deleted on the way out, after the lock is let go.
    HFONT realised = nullptr;
    {
        LockGuard guard(fontLock);
        FontRecord* record = fontLocked(number);
        if (record->realised == nullptr) {
            record->realised = font.release();
            record->logFont.lfHeight = request.logFont.lfHeight;
        }
        realised = record->realised;
    }
    return realised;
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
    ROI_SYSTEM(DeleteObject(font));
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
