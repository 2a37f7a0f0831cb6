// The text canvas window: a top-level "STAVEGRAPH" frame on a thread of its own,
// with an owner-drawn surface painted from an off-screen bitmap. The drawing thread
// prints into that bitmap line by line and waits for keys typed into the surface.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace roi {

// createCanvasWindow options.
enum : int {
    CANVAS_CELLS = 0x10,  // width and height count character cells of the canvas font
    CANVAS_SHOW = 0x40,   // show the window
};

// The window class of every canvas frame.
inline constexpr wchar_t CANVAS_CLASS[] = L"STAVEGRAPH";

// The calling thread's currentCanvas becomes the surface with control id canvas on
// parent, or parent itself when it has no such control; runtime error 5 and no
// current canvas when that target is not a canvas surface.
void selectCanvas(HWND parent, int canvas, bool deferredRedraw);

// Starts a canvas thread and returns the frame once its window, bitmap and font are
// ready, or 0. x and y are screen pixels; style 0 is the default frame style; font 0
// means font 1. The new surface becomes current only when the thread has none.
HWND createCanvasWindow(std::string_view title, int x, int y, int width, int height, int options, DWORD style,
                        int font);

// Print operations on the calling thread's currentCanvas; without one they do nothing.
void printText(std::string_view text);
void newLine();
void setColumn(int column);  // columns count from 1

// What waitForKey does with its window once the wait is over.
enum class AfterWait {
    KeepWindow,   // the caller closes it (or not) itself
    CloseWindow,  // closed as soon as the wait ends, even while a later wait on this thread still runs
};

// Waits for a key typed into the current canvas, pumping the calling thread's
// messages meanwhile. limit in milliseconds, 0 for none; an empty allowed list
// accepts every key. Returns the key (one unit, or 0 and a scan code), or the empty
// text when the window was closed, there is no canvas or the time ran out.
// Waits nest: each one watches the canvas that was current when it began.
std::wstring waitForKey(DWORD limit, std::wstring_view allowed, AfterWait after = AfterWait::KeepWindow);

// Closes a canvas window: canvas 0 means the current canvas, a frame names its surface.
void closeCanvasWindow(HWND canvas);

// Paints a surface's item from its backing bitmap (WM_DRAWITEM of its parent).
void paintSurface(const DRAWITEMSTRUCT& item);

// Copies a canvas surface's whole backing bitmap to target at (0, 0), from any thread:
// the page as the next refresh shows it. False when surface is no live canvas surface.
bool copySurfaceBitmap(HWND surface, HDC target);

// What the surface stores as lastKey for a keyboard message (a character in bits 0-15
// or a scan code in bits 16-23), or 0 when the message goes to default processing.
LONG keyToCapture(UINT message, WPARAM wParam, LPARAM lParam, bool numLockOn, bool shiftDown);

}  // namespace roi
