// Owners for GDI handles and device contexts, so each is given back once, on every
// way out of the scope that made it. Each owner calls only its own release function;
// locks around the calls (ui/canvas_window.cpp's memory-DC lock) stay with the caller.
#pragma once

#include <windows.h>

#include <utility>

#include "app/system_call.h"

namespace roi {

// A window's DC (or the screen's, for a null window) from GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(ROI_SYSTEM(GetDC(window))) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ROI_SYSTEM(ReleaseDC(window_, dc_));
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    explicit operator bool() const { return dc_ != nullptr; }
    operator HDC() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A GDI handle given back with Free when the scope ends, unless release() hands it on.
template <class Handle, class Free>
class OwnedGdi {
public:
    explicit OwnedGdi(Handle handle = nullptr) : handle_(handle) {}
    ~OwnedGdi() {
        if (handle_ != nullptr) {
            Free{}(handle_);
        }
    }
    OwnedGdi(const OwnedGdi&) = delete;
    OwnedGdi& operator=(const OwnedGdi&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    operator Handle() const { return handle_; }
    Handle get() const { return handle_; }
    Handle release() { return std::exchange(handle_, nullptr); }
    // Frees the handle held, if any, and keeps handle instead.
    void reset(Handle handle = nullptr) {
        Handle old = std::exchange(handle_, handle);
        if (old != nullptr) {
            Free{}(old);
        }
    }

private:
    Handle handle_;
};

struct DeleteMemoryDc {
    void operator()(HDC dc) const { ROI_SYSTEM(DeleteDC(dc)); }
};

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { ROI_SYSTEM(DeleteObject(object)); }
};

// A memory DC from CreateCompatibleDC, deleted with DeleteDC.
using MemoryDc = OwnedGdi<HDC, DeleteMemoryDc>;

// A pen, brush, font or bitmap, deleted with DeleteObject.
template <class Handle>
using GdiObject = OwnedGdi<Handle, DeleteGdiObject>;

// Selects an object into a DC and puts back what it replaced when the scope ends, or
// earlier through restore(). A failed selection has nothing to put back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(ROI_SYSTEM(SelectObject(dc, object))) {}
    ~SelectedObject() { restore(); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

    // True when the selection was made.
    explicit operator bool() const { return previous_ != nullptr; }

    // Puts the replaced object back now; true when that worked. Tried once only.
    bool restore() {
        HGDIOBJ previous = std::exchange(previous_, nullptr);
        return previous != nullptr && ROI_SYSTEM(SelectObject(dc_, previous)) != nullptr;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace roi
