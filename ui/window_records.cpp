// The engine's bookkeeping: the window-record list, the brushes records share, the
// numbered font table and the active dialog. Both lists are used by the main thread
// and by canvas threads, each under its own spin lock, never both at once; GDI and
// USER calls happen outside the locks.
#include "ui/window_records.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <deque>
#include <new>

#include "app/runtime.h"
#include "app/spin_lock.h"

namespace roi {

namespace {

// ---- record list ----------------------------------------------------------------

SpinLock recordLock;
WindowRecord* recordHead = nullptr;
int liveRecords = 0;

// Brushes handed out by shareBrush, with the number of records that took them. Kept
// under recordLock: a brush's life is tied to the records that use it.
struct SharedBrush {
    COLORREF colour = 0;
    HBRUSH brush = nullptr;
    int users = 0;
};
std::deque<SharedBrush> sharedBrushes;

// Unlinks window's record and returns it, or null. recordLock held by the caller.
WindowRecord* unlinkLocked(HWND window) {
    WindowRecord** link = &recordHead;
    while (*link != nullptr) {
        WindowRecord* record = *link;
        if (record->window == window) {
            *link = record->next;
            record->next = nullptr;
            --liveRecords;
            return record;
        }
        link = &record->next;
    }
    return nullptr;
}

// The window of some record whose parent is window, or null. recordLock held.
HWND firstChildLocked(HWND window) {
    for (WindowRecord* record = recordHead; record != nullptr; record = record->next) {
        if (record->parent == window && record->window != window) {
            return record->window;
        }
    }
    return nullptr;
}

// True when the brush should be deleted now that one record stopped using it.
bool dropBrushUser(HBRUSH brush) {
    LockGuard guard(recordLock);
    for (SharedBrush& shared : sharedBrushes) {
        if (shared.brush == brush && shared.users > 0) {
            --shared.users;
            if (shared.users == 0) {
                shared.brush = nullptr;
                return true;
            }
            return false;
        }
    }
    // A brush made elsewhere: keep it while another record holds the same handle.
    for (WindowRecord* record = recordHead; record != nullptr; record = record->next) {
        if (record->backgroundBrush == brush) {
            return false;
        }
    }
    return true;
}

void releaseSurface(SurfaceState* surface) {
    if (surface->memoryDc != nullptr) {
        // Put the DC's own objects back, so the bitmap and the font are not selected
        // anywhere when they are deleted.
        if (surface->replacedFont != nullptr) {
            SelectObject(surface->memoryDc, surface->replacedFont);
        }
        if (surface->replacedBitmap != nullptr) {
            SelectObject(surface->memoryDc, surface->replacedBitmap);
        }
    }
    if (surface->backingBitmap != nullptr) {
        DeleteObject(surface->backingBitmap);
    }
    if (surface->memoryDc != nullptr) {
        DeleteDC(surface->memoryDc);
    }
    delete surface;
}

// Frees what one unlinked record holds, then the record.
void releaseResources(WindowRecord* record) {
    if (record->font != 0) {
        dropFontReference(record->font);
    }
    if (record->initialFontKnown && record->surface == nullptr && IsWindow(record->window)) {
        // No redraw: the window is on its way out.
        HFONT initial = record->initialFontIsSystem ? nullptr : record->initialFont;
        SendMessageA(record->window, WM_SETFONT, reinterpret_cast<WPARAM>(initial), FALSE);
    }
    if (record->backgroundBrush != nullptr && dropBrushUser(record->backgroundBrush)) {
        DeleteObject(record->backgroundBrush);
    }
    if (record->image != nullptr) {
        if ((record->flags & RECORD_IMAGE_ICON) != 0) {
            DestroyIcon(static_cast<HICON>(record->image));
        } else if ((record->flags & RECORD_IMAGE_BITMAP) != 0) {
            DeleteObject(record->image);
        }
    }
    if (record->surface != nullptr) {
        releaseSurface(record->surface);
    }
    delete record;
}

// ---- font table -------------------------------------------------------------------

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

std::atomic<HWND> activeWindow{nullptr};

}  // namespace

// ---- record list ------------------------------------------------------------------

WindowRecord* newRecord(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    WindowRecord* fresh = new (std::nothrow) WindowRecord;
    if (fresh == nullptr) {
        return nullptr;
    }
    fresh->window = window;
    {
        LockGuard guard(recordLock);
        bool exists = false;
        for (WindowRecord* record = recordHead; record != nullptr; record = record->next) {
            if (record->window == window) {
                exists = true;
                break;
            }
        }
        if (!exists) {
            fresh->next = recordHead;
            recordHead = fresh;
            ++liveRecords;
            return fresh;
        }
    }
    delete fresh;
    return nullptr;
}

WindowRecord* findRecord(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    LockGuard guard(recordLock);
    for (WindowRecord* record = recordHead; record != nullptr; record = record->next) {
        if (record->window == window) {
            return record;
        }
    }
    return nullptr;
}

HACCEL acceleratorsOf(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    LockGuard guard(recordLock);
    for (const WindowRecord* record = recordHead; record != nullptr; record = record->next) {
        if (record->window == window) {
            return record->accelerators;
        }
    }
    return nullptr;
}

void releaseRecord(HWND window) {
    // A null handle would match every parentless record as its child.
    if (window == nullptr) {
        return;
    }
    // Out of the list first, so parent links that loop cannot recurse for ever.
    WindowRecord* record = nullptr;
    {
        LockGuard guard(recordLock);
        record = unlinkLocked(window);
    }
    // Then the children, one list operation at a time: the lock is not held while a
    // child's resources are freed (that takes the font lock and calls GDI).
    for (;;) {
        HWND child = nullptr;
        {
            LockGuard guard(recordLock);
            child = firstChildLocked(window);
        }
        if (child == nullptr) {
            break;
        }
        releaseRecord(child);
    }
    if (record != nullptr) {
        releaseResources(record);
    }
}

int recordCount() {
    LockGuard guard(recordLock);
    return liveRecords;
}

HBRUSH shareBrush(COLORREF colour) {
    {
        LockGuard guard(recordLock);
        for (SharedBrush& shared : sharedBrushes) {
            if (shared.brush != nullptr && shared.colour == colour) {
                ++shared.users;
                return shared.brush;
            }
        }
    }
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush == nullptr) {
        return nullptr;
    }
    HBRUSH existing = nullptr;
    {
        LockGuard guard(recordLock);
        // Another thread may have made one meanwhile; then both use that one.
        for (SharedBrush& shared : sharedBrushes) {
            if (shared.brush != nullptr && shared.colour == colour) {
                ++shared.users;
                existing = shared.brush;
                break;
            }
        }
        if (existing == nullptr) {
            bool stored = false;
            for (SharedBrush& shared : sharedBrushes) {
                if (shared.brush == nullptr) {
                    shared = {colour, brush, 1};
                    stored = true;
                    break;
                }
            }
            if (!stored) {
                try {
                    sharedBrushes.push_back({colour, brush, 1});
                } catch (const std::bad_alloc&) {
                    // Untracked: releaseRecord deletes it with the last record holding it.
                }
            }
        }
    }
    if (existing != nullptr) {
        DeleteObject(brush);
        return existing;
    }
    return brush;
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
    // GetDC(null) is the screen's DC.
    HDC dc = GetDC(forWindow);
    if (dc == nullptr) {
        return nullptr;
    }
    const int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(forWindow, dc);
    loadWorkingControlWord();
    request.logFont.lfHeight = fontHeightFor(pixelsPerInch, request.points);
    HFONT font = CreateFontIndirectW(&request.logFont);
    loadWorkingControlWord();
    if (font == nullptr) {
        return nullptr;
    }
    HFONT result = font;
    bool lost = false;
    {
        LockGuard guard(fontLock);
        FontRecord* record = fontLocked(number);
        if (record->realised != nullptr) {
            // Another thread realised it meanwhile: keep one GDI font per record.
            result = record->realised;
            lost = true;
        } else {
            record->realised = font;
            record->logFont.lfHeight = request.logFont.lfHeight;
        }
    }
    if (lost) {
        DeleteObject(font);
    }
    return result;
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

// ---- active dialog ------------------------------------------------------------------

HWND activeDialog() {
    return activeWindow.load();
}

void setActiveDialog(HWND window) {
    activeWindow.store(window);
}

}  // namespace roi
