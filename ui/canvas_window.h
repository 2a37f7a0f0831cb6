// The text canvas window: a top-level "STAVEGRAPH" frame on a thread of its own,
// with an owner-drawn surface painted from an off-screen bitmap. The drawing thread
// prints into that bitmap line by line and waits for keys typed into the surface.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace roi {

struct SurfaceState;
struct WindowRecord;

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

// Paints a surface's item from its backing bitmap (WM_DRAWITEM of its parent), on the
// thread that owns the surface. Never takes graphicsLock.
void paintSurface(const DRAWITEMSTRUCT& item);
// The font into a surface's memory DC, whose own font is kept to be put back when the
// surface goes, and the cell metrics printing uses. False when nothing was selected.
bool selectSurfaceFont(HWND surface, HFONT font);
// The two above are what the dialog engine asks of a surface (SurfaceHooks in
// ui/dialog_engine.h); createCanvasWindow hands them over.

// graphicsLock held for one scope: the only way to a canvas surface's drawing state, for
// the canvas's operations and for tests. A thread entered again while it holds the lock
// (a message sent to the drawing thread while it waits inside a cross-thread UpdateWindow
// or SendMessageW, whose handler may open another help screen) holds it once more
// rather than waiting on itself. Taken before the record-list or font-table lock, never
// after; painting never takes it.
class DrawingAccess {
public:
    enum class Wait {
        Spin,               // Sleep(0) between attempts: the drawing thread
        ServeSentMessages,  // the canvas thread: answers messages sent by a thread holding the lock
    };
    explicit DrawingAccess(Wait wait = Wait::Spin);
    // One attempt only (the canvas thread's refresh step); check held().
    struct TryOnce {};
    explicit DrawingAccess(TryOnce);
    ~DrawingAccess();
    DrawingAccess(const DrawingAccess&) = delete;
    DrawingAccess& operator=(const DrawingAccess&) = delete;

    bool held() const { return held_; }

    // window's record when it is a live canvas surface with its drawing state, else null.
    // Canvas records are released only under graphicsLock, so it stays valid while this
    // hold lasts, until pause().
    WindowRecord* surface(HWND window) const;
    // The calling thread's currentCanvas as surface() finds it.
    WindowRecord* currentSurface() const;

    // Lets the lock go while a wait pumps messages, unless an outer hold of this thread
    // still has it; resume() takes it back. Surfaces found before are looked up again after.
    void pause();
    void resume();

private:
    bool held_;
    bool paused_ = false;
};

// Copies a canvas surface's whole backing bitmap to target at (0, 0), from any thread:
// the page as the next refresh shows it. False when surface is no live canvas surface.
bool copySurfaceBitmap(HWND surface, HDC target);

// What the surface stores as lastKey for a keyboard message (a character in bits 0-15
// or a scan code in bits 16-23), or 0 when the message goes to default processing.
LONG keyToCapture(UINT message, WPARAM wParam, LPARAM lParam, bool numLockOn, bool shiftDown);

}  // namespace roi
