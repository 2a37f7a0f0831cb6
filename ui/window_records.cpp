// The engine's bookkeeping: the window-record list, the brushes records share and the
// active dialog. The list is used by the main thread and by canvas threads under its
// own spin lock, never together with the font-table lock; GDI and USER calls happen
// outside the locks.
#include "ui/window_records.h"

#include <atomic>
#include <deque>
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

// ---- active dialog ------------------------------------------------------------------

HWND activeDialog() {
    return activeWindow.load();
}

void setActiveDialog(HWND window) {
    activeWindow.store(window);
}

}  // namespace roi
