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
#include "app/system_call.h"

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

// window's record, or null. recordLock held.
WindowRecord* findLocked(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    for (WindowRecord* record = recordHead; record != nullptr; record = record->next) {
        if (record->window == window) {
            return record;
        }
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
    if (record->initialFontKnown && record->surface == nullptr && ROI_SYSTEM(IsWindow(record->window))) {
        // No redraw: the window is on its way out.
        HFONT initial = record->initialFontIsSystem ? nullptr : record->initialFont;
        ROI_SYSTEM(SendMessageA(record->window, WM_SETFONT, reinterpret_cast<WPARAM>(initial), FALSE));
    }
    if (record->backgroundBrush != nullptr && dropBrushUser(record->backgroundBrush)) {
        ROI_SYSTEM(DeleteObject(record->backgroundBrush));
    }
    if (record->image != nullptr && (record->flags & (RECORD_IMAGE_ICON | RECORD_IMAGE_BITMAP)) != 0) {
        freeImage(record->image, (record->flags & RECORD_IMAGE_ICON) != 0);
    }
    // A dialog destroyed without endDialog still holds its table.
    if (record->accelerators != nullptr) {
        ROI_SYSTEM(DestroyAcceleratorTable(record->accelerators));
    }
    for (HICON icon : {record->bigIcon, record->smallIcon}) {
        if (icon != nullptr) {
            ROI_SYSTEM(DestroyIcon(icon));
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
            ROI_SYSTEM(SelectObject(memoryDc, replacedFont));
        }
        if (replacedBitmap != nullptr) {
            ROI_SYSTEM(SelectObject(memoryDc, replacedBitmap));
        }
    }
}

void freeImage(HANDLE image, bool isIcon) {
    if (isIcon) {
        ROI_SYSTEM(DestroyIcon(static_cast<HICON>(image)));
    } else {
        ROI_SYSTEM(DeleteObject(image));
    }
}

// ---- record list ------------------------------------------------------------------

LockedRecord::LockedRecord(HWND window) {
    acquire(recordLock);
    record_ = findLocked(window);
}

LockedRecord::~LockedRecord() {
    release(recordLock);
}

bool linkRecord(std::unique_ptr<WindowRecord> record) {
    {
        LockGuard guard(recordLock);
        if (findLocked(record->window) == nullptr) {  // else the window has its record already
            record->next = recordHead;
            recordHead = record.release();
            ++liveRecords;
        }
    }
    if (record != nullptr) {
        releaseResources(record.release());  // outside the lock: it takes the font lock and calls GDI
        return false;
    }
    return true;
}

WindowRecord* recordUnderGraphicsLock(const GraphicsLockHeld&, HWND window) {
    LockGuard guard(recordLock);
    return findLocked(window);
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
    GdiObject<HBRUSH> brush(ROI_SYSTEM(CreateSolidBrush(colour)));
    if (!brush) {
        return nullptr;
    }
    // A brush another thread made meanwhile wins; this one is then deleted on the way
    // out, after the lock is let go.
    HBRUSH shared = nullptr;
    {
        LockGuard guard(recordLock);
        shared = takeSharedBrushLocked(colour);
        if (shared == nullptr) {
            storeSharedBrushLocked(colour, brush.get());
            shared = brush.release();
        }
    }
    return shared;
}

// ---- active dialog ------------------------------------------------------------------

HWND activeDialog() {
    return activeWindow.load();
}

void setActiveDialog(HWND window) {
    activeWindow.store(window);
}

}  // namespace roi
