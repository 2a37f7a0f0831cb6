// The engine's bookkeeping: the window-record list, the brushes records share and the
// active dialog. The list is used by the main thread and by canvas threads under its
// own spin lock, never together with the font-table lock; GDI and USER calls happen
// outside the locks.
#include "ui/window_records.h"

#include <atomic>
#include <deque>
#include <initializer_list>
#include <memory>
#include <new>

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

// A shared brush of colour with one more user, or null. recordLock held.
HBRUSH takeSharedBrushLocked(COLORREF colour) {
    for (SharedBrush& shared : sharedBrushes) {
        if (shared.brush != nullptr && shared.colour == colour) {
            ++shared.users;
            return shared.brush;
        }
    }
    return nullptr;
}

// Keeps a new brush with its first user, in a free entry where there is one. recordLock held.
void storeSharedBrushLocked(COLORREF colour, HBRUSH brush) {
    for (SharedBrush& shared : sharedBrushes) {
        if (shared.brush == nullptr) {
            shared = {colour, brush, 1};
            return;
        }
    }
    try {
        sharedBrushes.push_back({colour, brush, 1});
    } catch (const std::bad_alloc&) {
        // Untracked: releaseRecord deletes it with the last record holding it.
    }
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
    if (record->image != nullptr && (record->flags & (RECORD_IMAGE_ICON | RECORD_IMAGE_BITMAP)) != 0) {
        freeImage(record->image, (record->flags & RECORD_IMAGE_ICON) != 0);
    }
    // A dialog destroyed without endDialog still holds its table.
    if (record->accelerators != nullptr) {
        DestroyAcceleratorTable(record->accelerators);
    }
    for (HICON icon : {record->bigIcon, record->smallIcon}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
    delete record->surface;  // its owners give back the DC and the bitmap
    delete record;
}

std::atomic<HWND> activeWindow{nullptr};

}  // namespace

SurfaceState::~SurfaceState() {
    // The DC's own objects go back first, so the bitmap and the font are selected
    // nowhere when the owners delete them.
    if (memoryDc) {
        if (replacedFont != nullptr) {
            SelectObject(memoryDc, replacedFont);
        }
        if (replacedBitmap != nullptr) {
            SelectObject(memoryDc, replacedBitmap);
        }
    }
}

void freeImage(HANDLE image, bool isIcon) {
    if (isIcon) {
        DestroyIcon(static_cast<HICON>(image));
    } else {
        DeleteObject(image);
    }
}

// ---- record list ------------------------------------------------------------------

WindowRecord* newRecord(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    std::unique_ptr<WindowRecord> fresh(new (std::nothrow) WindowRecord);
    if (fresh == nullptr) {
        return nullptr;
    }
    fresh->window = window;
    // Declared after the record, the guard is let go before a record not linked is deleted.
    LockGuard guard(recordLock);
    for (const WindowRecord* record = recordHead; record != nullptr; record = record->next) {
        if (record->window == window) {
            return nullptr;  // the window has its record already
        }
    }
    fresh->next = recordHead;
    recordHead = fresh.release();
    ++liveRecords;
    return recordHead;
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
        if (HBRUSH shared = takeSharedBrushLocked(colour)) {
            return shared;
        }
    }
    GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    if (!brush) {
        return nullptr;
    }
    // Declared after the brush, the guard is let go first: a brush another thread made
    // meanwhile wins, and this one is deleted outside the lock.
    LockGuard guard(recordLock);
    if (HBRUSH shared = takeSharedBrushLocked(colour)) {
        return shared;
    }
    storeSharedBrushLocked(colour, brush.get());
    return brush.release();
}

// ---- active dialog ------------------------------------------------------------------

HWND activeDialog() {
    return activeWindow.load();
}

void setActiveDialog(HWND window) {
    activeWindow.store(window);
}

}  // namespace roi
