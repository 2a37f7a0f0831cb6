// What the canvas window and help screen tests share: the watchdog so no test can hang,
// pixel snapshots, font 1's cell measured on its own, and counts of threads and GDI
// objects for the leak checks, with the checks themselves.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/gdi_table.h"
#include "tests/support/watchdog.h"
#include "ui/canvas_window.h"
#include "ui/font_table.h"
#include "ui/window_records.h"

namespace roi_test {

struct Snapshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Snapshot& other) const = default;
};

// Pixels that copy (which draws into the DC it is given) puts into a 32-bit DIB.
template <typename Copy>
Snapshot capture(int width, int height, Copy copy) {
    Snapshot result;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC copyDc = CreateCompatibleDC(nullptr);
    HBITMAP section = CreateDIBSection(copyDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section == nullptr) {
        DeleteDC(copyDc);
        return result;
    }
    HGDIOBJ previous = SelectObject(copyDc, section);
    if (copy(copyDc)) {
        GdiFlush();
        result.width = width;
        result.height = height;
        const auto* first = static_cast<const std::uint32_t*>(bits);
        result.pixels.assign(first, first + static_cast<std::size_t>(width) * height);
        for (std::uint32_t& pixel : result.pixels) {
            pixel &= 0x00FFFFFF;
        }
    }
    SelectObject(copyDc, previous);
    DeleteObject(section);
    DeleteDC(copyDc);
    return result;
}

// What a window shows, read back from its DC.
inline Snapshot windowPixels(HWND window, int width, int height) {
    return capture(width, height, [window, width, height](HDC target) {
        HDC windowDc = GetDC(window);
        const bool copied = BitBlt(target, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
        ReleaseDC(window, windowDc);
        return copied;
    });
}

// A canvas surface's backing bitmap.
inline Snapshot bitmapPixels(HWND surface) {
    RECT client = {};
    if (surface == nullptr || !GetClientRect(surface, &client)) {
        return Snapshot{};
    }
    return capture(client.right, client.bottom,
                   [surface](HDC target) { return roi::copySurfaceBitmap(surface, target); });
}

inline std::uint32_t asDibColour(COLORREF colour) {
    return (static_cast<std::uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

// Ink: a pixel that is not the canvas background, within [left, right) x [top, bottom).
inline bool hasInk(const Snapshot& shot, int left, int top, int right, int bottom) {
    const std::uint32_t background = asDibColour(GetSysColor(COLOR_BTNFACE));
    for (int y = std::max(top, 0); y < std::min(bottom, shot.height); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, shot.width); ++x) {
            if (shot.at(x, y) != background) {
                return true;
            }
        }
    }
    return false;
}

struct Cell {
    int width;   // tmAveCharWidth
    int height;  // tmHeight + tmExternalLeading
};

// Font 1 measured on the screen, independently of any canvas.
inline Cell fontOneCell() {
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, roi::realiseFont(1, nullptr));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return Cell{metrics.tmAveCharWidth, metrics.tmHeight + metrics.tmExternalLeading};
}

// The width of text in font 1, on a DC of the test's own.
inline int textWidth(const std::wstring& text) {
    HDC measure = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(measure, roi::realiseFont(1, nullptr));
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(measure, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(measure, previous);
    DeleteDC(measure);
    return extent.cx;
}

inline bool goneWithin(HWND window, DWORD limitMs) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    while (IsWindow(window)) {
        if (GetTickCount64() > end) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

inline int processThreads() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            ++count;
        }
    }
    CloseHandle(snap);
    return count;
}

// Waits up to 5 s for the process to have no more threads than baseline. Only "no
// more" can be asked: Wine's own worker threads may end meanwhile.
inline int threadsSettledTo(int baseline) {
    int now = processThreads();
    for (int i = 0; i < 500 && now > baseline; ++i) {
        Sleep(10);
        now = processThreads();
    }
    return now;
}

// The GDI objects of this process, from its handle table; -1 where that is not available.
inline int rawGdiCount() {
#if defined(_WIN64)
    const char* peb = nullptr;
    __asm__("movq %%gs:0x60, %0" : "=r"(peb));  // the TEB's pointer to the PEB
    const auto* table = *reinterpret_cast<const GdiHandleEntry* const*>(peb + PEB_GDI_TABLE_OFFSET);
    return table == nullptr ? -1 : countGdiEntries(table, GetCurrentProcessId());
#else
    return -1;
#endif
}

// The table count, once it has shown that it follows the creation and deletion of
// three brushes; -1 when it does not.
inline int gdiObjectCount() {
    const int before = rawGdiCount();
    HBRUSH brushes[3];
    for (HBRUSH& brush : brushes) {
        brush = CreateSolidBrush(RGB(1, 2, 3));
    }
    const int during = rawGdiCount();
    for (HBRUSH brush : brushes) {
        DeleteObject(brush);
    }
    const int after = rawGdiCount();
    return before >= 0 && during == before + 3 && after == before ? after : -1;
}

// What a leak check compares, counted when made: window records, threads, font 1's
// references (-1: font 1 is gone), GDI objects (in the handle table and as
// GetGuiResources has them) and USER objects.
struct ObjectCounts {
    int records = roi::recordCount();
    int threads = processThreads();
    int fontReferences = [] {
        roi::FontRecord font;
        return roi::fontInfo(1, font) ? font.references : -1;
    }();
    int gdiTable = gdiObjectCount();
    DWORD gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
};

// After `what` (say "30 canvas windows"): every thread has ended and every count is back.
inline void expectObjectsAsBefore(const ObjectCounts& before, const char* what) {
    SCOPED_TRACE(what);
#if defined(_WIN64)
    EXPECT_GE(before.gdiTable, 0) << "the GDI handle table could not be read";
#endif
    EXPECT_LE(threadsSettledTo(before.threads), before.threads) << "every canvas thread ended";
    const ObjectCounts after;
    const bool stub = before.gdiObjects == 0 && before.userObjects == 0;  // GetGuiResources under Wine
    std::printf("before/after %s: GetGuiResources GDI %lu/%lu, USER %lu/%lu%s; GDI handle table %d/%d\n", what,
                static_cast<unsigned long>(before.gdiObjects), static_cast<unsigned long>(after.gdiObjects),
                static_cast<unsigned long>(before.userObjects), static_cast<unsigned long>(after.userObjects),
                stub ? " (a stub here: the other counts stand in)" : "", before.gdiTable, after.gdiTable);
    EXPECT_GE(before.fontReferences, 0) << "font 1 is in the font table";
    EXPECT_EQ(after.fontReferences, before.fontReferences);
    EXPECT_EQ(after.records, before.records);
    EXPECT_EQ(after.gdiTable, before.gdiTable);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.userObjects, before.userObjects);
}

}  // namespace roi_test
