// One owner per kernel handle: a handle made on one path and given up on several is
// closed by its owner on every way out, or handed on with release().
#pragma once

#include <windows.h>

#include <utility>

#include "app/system_call.h"

namespace roi {

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { ROI_SYSTEM(CloseHandle(handle)); }
};

// Close says how the handle goes: the file layer closes through its own bracket.
template <class Close = CloseKernelHandle>
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~ScopedHandle() {
        if (valid()) {
            Close{}(handle_);
        }
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    // Both of the values Win32 uses for "no handle" count as none.
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // The caller owns the handle from now on.
    HANDLE release() { return std::exchange(handle_, nullptr); }

private:
    HANDLE handle_;
};

}  // namespace roi
