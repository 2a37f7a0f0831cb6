// The engine's bookkeeping, shared by the dialog engine and the canvas window: one
// WindowRecord per window the engine created, the brushes shared between records of
// one colour, and the active dialog. Records hold font numbers of the font table
// (ui/font_table.h), and releasing a record drops its font's reference.
//
// Locks: the record-list lock and the font-table lock are each held for one list
// operation only and never together. The canvas's graphicsLock may be held while
// either of them is taken, never the reverse. A record is reached only while a lock
// that keeps it alive is held: the record-list lock (LockedRecord), or for a canvas
// surface graphicsLock (recordUnderGraphicsLock).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "ui/dialog_engine.h"
#include "ui/font_table.h"
#include "ui/scoped_gdi.h"

namespace roi {

// WindowRecord::flags
enum : std::uint32_t {
    RECORD_DIALOG_UNITS = 0x1,
    RECORD_PIXELS = 0x2,
    RECORD_UNIT_BITS = RECORD_DIALOG_UNITS | RECORD_PIXELS,
    RECORD_IS_DIALOG = 0x4,
    RECORD_SHOWN_MODALLY = 0x8,
    RECORD_CONTROL = 0x10,
    RECORD_IMAGE_BITMAP = 0x20,
    RECORD_IMAGE_ICON = 0x40,
    // canvas surfaces
    RECORD_CANVAS_SURFACE = 0x100,
    RECORD_DEFERRED_REDRAW = 0x200,
    RECORD_DIRTY = 0x400,
    RECORD_REFRESH_REQUESTED = 0x800,
    RECORD_CLOSED_BY_USER = 0x1000,
    RECORD_HAS_FOCUS = 0x2000,
};

// Colour fields: a value of 0 or more is an RGB colour.
inline constexpr int COLOUR_NOT_SET = -3;
inline constexpr int COLOUR_SYSTEM = -1;

// What a canvas surface keeps besides the common fields; created with the surface. Its
// drawing state is reached through the canvas's DrawingAccess (ui/canvas_window.h), which
// holds graphicsLock; painting reads the DC and the size on the thread that owns the
// surface, which alone changes them; the surface procedure records keys and clicks
// under the record-list lock.
struct SurfaceState {
    ~SurfaceState();  // selects the replaced objects back; the owners then free bitmap and DC

    MemoryDc memoryDc;  // declared before the bitmap, so deleted after it
    GdiObject<HBITMAP> backingBitmap;
    HGDIOBJ replacedBitmap = nullptr;  // selected back before the DC is deleted
    HGDIOBJ replacedFont = nullptr;
    int width = 0;
    int height = 0;
    int originX = 0;
    int originY = 0;
    int x = 0;  // print position, the memory DC's current position
    int y = 0;
    int averageCharWidth = 0;
    int lineHeight = 0;  // tmHeight + tmExternalLeading
    COLORREF foreground = 0;
    COLORREF background = 0;
    RECT dirty = {0, 0, 0, 0};
    int refreshCounter = 0;
    std::atomic<LONG> lastKey{0};  // character in bits 0-15 or scan code in bits 16-23
    bool clicked = false;
    bool doubleClicked = false;
    POINT clickPosition = {0, 0};
    WNDPROC previousProc = nullptr;
};

struct WindowRecord {
    WindowRecord* next = nullptr;
    HWND window = nullptr;
    HWND parent = nullptr;
    ControlKind kind = ControlKind::None;
    std::atomic<std::uint32_t> flags{0};  // a canvas thread changes a surface's without graphicsLock
    bool closeLock = false;
    int showCommand = SW_SHOW;
    DWORD style = 0;
    DWORD extendedStyle = 0;
    int font = 0;                 // controls and canvases: font number (0 = none given)
    HFONT dialogFont = nullptr;   // dialogs: the font the dialog manager made; new controls get it
    HFONT initialFont = nullptr;  // controls: the font before setControlFont first changed it
    bool initialFontKnown = false;
    bool initialFontIsSystem = false;
    DialogHandler handler = nullptr;
    INT_PTR* resultDestination = nullptr;
    HACCEL accelerators = nullptr;
    HICON bigIcon = nullptr;  // dialogs: the icons WM_GETICON answers with
    HICON smallIcon = nullptr;
    int textColour = COLOUR_NOT_SET;
    int backgroundColour = COLOUR_NOT_SET;
    HBRUSH backgroundBrush = nullptr;
    HANDLE image = nullptr;
    SurfaceState* surface = nullptr;  // canvas surfaces only; released with the record
};

// window's record for as long as this lives, with the record-list lock held: one list
// operation. Held for reading and writing fields only, never across a call into Windows,
// the font table or the record list: the lock is not re-entrant, and a thread spinning
// on it answers no messages. False when window has no record.
class LockedRecord {
public:
    explicit LockedRecord(HWND window);
    ~LockedRecord();
    LockedRecord(const LockedRecord&) = delete;
    LockedRecord& operator=(const LockedRecord&) = delete;

    explicit operator bool() const { return record_ != nullptr; }
    WindowRecord* operator->() const { return record_; }
    WindowRecord& operator*() const { return *record_; }

private:
    WindowRecord* record_ = nullptr;
};

// A fresh record for window, filled by fill(record) before the list has it, so fill may
// call Windows and the font table; then linked at the head of the list. False when window
// is null or already has a record, or memory ran out: a filled record is then released
// as its window's would be.
bool linkRecord(std::unique_ptr<WindowRecord> record);
template <class Fill>
bool newRecord(HWND window, Fill&& fill) {
    if (window == nullptr) {
        return false;
    }
    std::unique_ptr<WindowRecord> fresh(new (std::nothrow) WindowRecord);
    if (fresh == nullptr) {
        return false;
    }
    fresh->window = window;
    std::forward<Fill>(fill)(*fresh);
    return linkRecord(std::move(fresh));
}
inline bool newRecord(HWND window) {
    return newRecord(window, [](WindowRecord&) {});
}

// Canvas records are released only while graphicsLock is held (ui/canvas_window.cpp), so
// its holder may keep one beyond the record-list lock, for as long as it holds
// graphicsLock. Only the canvas's DrawingAccess can show that it does.
class GraphicsLockHeld {
    GraphicsLockHeld() = default;
    friend class DrawingAccess;
};
WindowRecord* recordUnderGraphicsLock(const GraphicsLockHeld& held, HWND window);
// Releases the records of window's children, then window's own (font references,
// initial fonts, shared brushes, images, accelerators, icons, surface DC and bitmap),
// and unlinks them.
void releaseRecord(HWND window);
// Number of live records (for tests that look for leaks).
int recordCount();

// Gives back an image a control showed: an icon with DestroyIcon, a bitmap with DeleteObject.
void freeImage(HANDLE image, bool isIcon);

// A solid brush of colour, shared with any record that already uses one.
HBRUSH shareBrush(COLORREF colour);

// The engine window most recently activated; pumpMessage navigates it with the keyboard.
HWND activeDialog();
void setActiveDialog(HWND window);

}  // namespace roi
