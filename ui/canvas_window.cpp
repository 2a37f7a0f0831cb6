// The text canvas window. Each canvas has a thread of its own that creates the
// "STAVEGRAPH" frame and its owner-drawn surface, pumps their messages, records keys
// and paints the surface from an off-screen bitmap. The drawing thread (the main
// thread) prints into that bitmap under graphicsLock and refreshes the screen from it.
//
// Lock order: graphicsLock first, then the record-list lock or the font-table lock
// (ui/window_records.h); never the reverse. Painting never takes graphicsLock, so a
// thread holding it may wait for the canvas thread inside UpdateWindow or SendMessageW.
// Records are freed only on their canvas thread, and only while that thread holds
// graphicsLock (or while the drawing thread holds it and waits for that thread to
// close the window): DrawingAccess, which holds it, is the one way to a surface's
// drawing state, and what it finds stays valid while it holds the lock.
#include "ui/canvas_window.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "app/runtime.h"
#include "app/spin_lock.h"
#include "app/system_call.h"
#include "core/key_wait.h"
#include "ui/dialog_engine.h"
#include "ui/procedure_guard.h"
#include "ui/scoped_gdi.h"
#include "ui/window_records.h"

namespace roi {

namespace {

// ---- graphicsLock -----------------------------------------------------------------

// The lock word, the thread that holds it and how often: a nested hold by the holder
// counts instead of spinning on itself (see DrawingAccess).
class GraphicsLock {
public:
    bool tryTake() {
        const DWORD self = ROI_SYSTEM(GetCurrentThreadId());
        if (owner_.load() == self) {
            ++depth_;
            return true;
        }
        if (!tryAcquire(word_)) {
            return false;
        }
        owner_.store(self);
        depth_ = 1;
        return true;
    }

    void take(DrawingAccess::Wait wait) {
        while (!tryTake()) {
            if (wait == DrawingAccess::Wait::ServeSentMessages) {
                // PeekMessageW delivers messages sent to this thread; the holder may be
                // waiting for one of them (UpdateWindow, the close of another window).
                MSG message;
                ROI_SYSTEM(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE));
            }
            ROI_SYSTEM(Sleep(0));
        }
    }

    // By the holder only.
    void give() {
        if (--depth_ == 0) {
            owner_.store(0);
            release(word_);
        }
    }
    bool heldOnce() const { return depth_ == 1; }

private:
    SpinLock word_;
    std::atomic<DWORD> owner_{0};  // no thread has the id 0
    int depth_ = 0;                // changed by the holder alone
};

GraphicsLock graphicsLock;

// ---- memory DCs ---------------------------------------------------------------------

// A DC serves one thread at a time: when the canvas thread paints the window from the
// memory DC while the drawing thread writes text into it, one of the two GDI calls
// fails (under Wine it returns at once), and a line or a paint is lost. Painting
// cannot take graphicsLock (the drawing thread holds it while it waits for a paint),
// so every GDI call on a memory DC takes this lock instead. It is held only for the
// call, never while a message is sent, and taken after graphicsLock, never before.
SpinLock memoryDcLock;

class MemoryDcHold {
public:
    MemoryDcHold() { acquire(memoryDcLock, true); }
    ~MemoryDcHold() { release(memoryDcLock); }
    MemoryDcHold(const MemoryDcHold&) = delete;
    MemoryDcHold& operator=(const MemoryDcHold&) = delete;
};

// ---- the canvas thread's block --------------------------------------------------------

// Everything a canvas thread works from. The thread owns it; the frame's
// GWLP_USERDATA points at it while the frame exists.
struct CanvasThread {
    std::string title;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int options = 0;
    DWORD style = 0;
    int font = 0;
    // The creating thread polls this until it holds the frame or 0; written once.
    std::atomic<LONG_PTR>* resultSlot = nullptr;
    HWND frame = nullptr;
    HWND surface = nullptr;
    // Set by the drawing thread, holding graphicsLock, just before it sends the close:
    // the records may then be released without taking the lock it holds.
    std::atomic<bool> closingByProgram{false};
    bool destroying = false;
    bool frameGone = false;
};

CanvasThread* canvasOf(HWND frame) {
    return reinterpret_cast<CanvasThread*>(ROI_SYSTEM(GetWindowLongPtrW(frame, GWLP_USERDATA)));
}

// ---- surfaces -----------------------------------------------------------------------

// Puts the dirty rectangle on the screen: painting runs on the canvas thread, inside
// UpdateWindow (sent across when the drawing thread refreshes). graphicsLock held.
void refresh(WindowRecord& record) {
    SurfaceState& surface = *record.surface;
    RECT dirty = surface.dirty;
    // Cleared first: a drawing that arrives while UpdateWindow waits stays marked.
    surface.dirty = RECT{0, 0, 0, 0};
    record.flags &= ~RECORD_DIRTY;
    ROI_SYSTEM(InvalidateRect(record.window, &dirty, FALSE));
    ROI_SYSTEM(UpdateWindow(record.window));
}

bool hasFlags(const WindowRecord& record, std::uint32_t bits) {
    return (record.flags & bits) != 0;
}

constexpr int REFRESH_EVERY = 250;

// The end of every drawing operation, graphicsLock held.
void markDrawn(WindowRecord& record, RECT area) {
    SurfaceState& surface = *record.surface;
    // 1. Normalise, clamp to the bitmap, add to the dirty rectangle.
    RECT normal{std::min(area.left, area.right), std::min(area.top, area.bottom), std::max(area.left, area.right),
                std::max(area.top, area.bottom)};
    RECT bitmap{0, 0, surface.width, surface.height};
    RECT clamped;
    if (ROI_SYSTEM(IntersectRect(&clamped, &normal, &bitmap))) {
        RECT joined;
        ROI_SYSTEM(UnionRect(&joined, &surface.dirty, &clamped));
        surface.dirty = joined;
    }
    record.flags |= RECORD_DIRTY;
    // 2. Deferred: the owner refreshes when it chooses.
    if (hasFlags(record, RECORD_DEFERRED_REDRAW)) {
        return;
    }
    // 3. Leave it to the canvas thread's idle refresh unless it asked or enough piled up.
    if (hasFlags(record, RECORD_CANVAS_SURFACE)) {
        ++surface.refreshCounter;
        if (surface.refreshCounter < REFRESH_EVERY && !hasFlags(record, RECORD_REFRESH_REQUESTED)) {
            return;
        }
    }
    // 4. Refresh here, on the drawing thread.
    refresh(record);
    record.flags &= ~RECORD_REFRESH_REQUESTED;
    surface.refreshCounter = 0;
}

// Closes the window of a canvas-window surface; graphicsLock held. Returns after the
// canvas thread has destroyed it, the record with it.
void closeSurfaceWindow(const WindowRecord& record) {
    if (!hasFlags(record, RECORD_CANVAS_SURFACE)) {
        return;
    }
    HWND frame = record.parent;
    if (const LockedRecord frameRecord(frame); frameRecord) {
        frameRecord->closeLock = false;
    }
    CanvasThread* canvas = canvasOf(frame);
    if (canvas != nullptr) {
        canvas->closingByProgram = true;
    }
    ROI_SYSTEM(SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0));
}

// ---- waits ----------------------------------------------------------------------------

int clockNow() {
    SYSTEMTIME now;
    ROI_SYSTEM(GetLocalTime(&now));
    return now.wMinute * 60000 + now.wSecond * 1000 + now.wMilliseconds;
}

// One pending waitForKey. Waits nest on one thread: the wait pumps that thread's
// messages, and a handler it dispatches may start another. The innermost wait
// serves every pending wait on each turn, so each window answers its own key at once.
struct PendingWait {
    HWND surface = nullptr;
    std::wstring_view allowed;
    bool timed = false;
    int start = 0;
    int limit = 0;
    AfterWait after = AfterWait::KeepWindow;
    bool finished = false;
    std::wstring key;
    PendingWait* outer = nullptr;
};

thread_local PendingWait* innermostWait = nullptr;

// Links a wait into the thread's chain for one scope.
class WaitLink {
public:
    explicit WaitLink(PendingWait& wait) : wait_(wait) {
        wait_.outer = innermostWait;
        innermostWait = &wait_;
    }
    ~WaitLink() { innermostWait = wait_.outer; }
    WaitLink(const WaitLink&) = delete;
    WaitLink& operator=(const WaitLink&) = delete;

private:
    PendingWait& wait_;
};

void finish(PendingWait& wait, std::wstring key) {
    wait.finished = true;
    wait.key = std::move(key);
}

// The key the surface recorded since the last look, as a wait reports it: the character,
// or a NUL and the scan code for a key without one; empty when there was none.
std::wstring recordedKey(SurfaceState& surface) {
    const LONG key = surface.lastKey.exchange(0);
    const auto character = static_cast<wchar_t>(key & 0xFFFF);
    const auto scanCode = static_cast<wchar_t>((key >> 16) & 0xFF);
    if (character != 0) {
        return std::wstring(1, character);
    }
    if (scanCode != 0) {
        return std::wstring{L'\0', scanCode};
    }
    return std::wstring();
}

// One look at a waiting surface: a key the wait allows ends it, any other key beeps; then
// the deadline. True when the wait is over. graphicsLock held.
bool takeKey(PendingWait& wait, WindowRecord& record) {
    std::wstring key = recordedKey(*record.surface);
    if (!key.empty()) {
        if (keyAllowed(wait.allowed, key)) {
            finish(wait, std::move(key));
            return true;
        }
        ROI_SYSTEM(MessageBeep(0));
    }
    if (wait.timed && clockDeadlinePassed(wait.start, wait.limit, clockNow())) {
        finish(wait, std::wstring());
        return true;
    }
    return false;
}

// Closes a finished wait's window if it asked for that.
void closeAfterWait(const DrawingAccess& hold, const PendingWait& wait) {
    if (wait.after != AfterWait::CloseWindow) {
        return;
    }
    if (const WindowRecord* record = hold.surface(wait.surface)) {
        closeSurfaceWindow(*record);
    }
}

// The turn the innermost wait takes for the waits it interrupted.
void serveOuterWaits(const DrawingAccess& hold, PendingWait* outer) {
    for (PendingWait* wait = outer; wait != nullptr; wait = wait->outer) {
        if (wait->finished) {
            continue;
        }
        WindowRecord* record = hold.surface(wait->surface);
        if (record == nullptr || hasFlags(*record, RECORD_CLOSED_BY_USER)) {
            finish(*wait, std::wstring());
        } else if (takeKey(*wait, *record)) {
            closeAfterWait(hold, *wait);
        }
    }
}

// ---- key capture ------------------------------------------------------------------------

constexpr LPARAM EXTENDED_KEY = 1 << 24;

int scanCodeOf(LPARAM lParam) {
    return static_cast<int>((lParam >> 16) & 0xFF);
}

// ---- the canvas thread ------------------------------------------------------------------

LRESULT CALLBACK surfaceProc(HWND surface, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK frameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);

// Registered once per process; the atom is kept.
SpinLock classLock;
ATOM canvasClass = 0;

bool registerCanvasClass() {
    LockGuard guard(classLock);
    if (canvasClass != 0) {
        return true;
    }
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = frameProc;
    windowClass.hInstance = programInstance();
    windowClass.hIcon = ROI_SYSTEM(LoadIconW(nullptr, IDI_ASTERISK));
    windowClass.hIconSm = ROI_SYSTEM(LoadIconW(nullptr, IDI_ASTERISK));
    windowClass.hCursor = ROI_SYSTEM(LoadCursorW(nullptr, IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(ROI_SYSTEM(GetStockObject(WHITE_BRUSH)));
    windowClass.lpszClassName = CANVAS_CLASS;
    canvasClass = ROI_SYSTEM(RegisterClassExW(&windowClass));
    return canvasClass != 0;
}

// No maximize box and no sizing border; WS_CAPTION joins when there is a title.
constexpr DWORD DEFAULT_FRAME_STYLE =
    WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD SURFACE_STYLE = WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_OWNERDRAW;
static_assert(DEFAULT_FRAME_STYLE == 0x868A0000);
static_assert(SURFACE_STYLE == 0x5000010D);
constexpr int LARGEST_SIDE = 16384;  // pixels; larger requests are cut down, not left to overflow

int clampSide(long long pixels) {
    return static_cast<int>(std::clamp(pixels, 0LL, static_cast<long long>(LARGEST_SIDE)));
}

// The canvas's font number: the one asked for if the table has it, else font 1.
int canvasFontNumber(int requested) {
    FontRecord info;
    if (requested == 0 || !fontInfo(requested, info)) {
        return 1;
    }
    return requested;
}

// The font's cell as the screen draws it; false when it cannot be measured.
bool measureFont(HFONT font, TEXTMETRICW& metrics) {
    WindowDc screen(nullptr);
    if (!screen) {
        return false;
    }
    SelectedObject selection(screen, font);
    return selection && ROI_SYSTEM(GetTextMetricsW(screen, &metrics));
}

// The client size in pixels; CANVAS_CELLS counts character cells instead.
SIZE canvasPixels(const CanvasThread& canvas, const TEXTMETRICW& metrics) {
    long long pixelWidth = canvas.width;
    long long pixelHeight = canvas.height;
    if ((canvas.options & CANVAS_CELLS) != 0) {
        pixelWidth *= metrics.tmAveCharWidth;
        pixelHeight *= metrics.tmHeight + metrics.tmExternalLeading;
    }
    return SIZE{clampSide(pixelWidth), clampSide(pixelHeight)};
}

DWORD frameStyle(const CanvasThread& canvas) {
    if (canvas.style != 0) {
        return canvas.style;
    }
    return canvas.title.empty() ? DEFAULT_FRAME_STYLE : DEFAULT_FRAME_STYLE | WS_CAPTION;
}

// The window's style and extended style, for its record.
void takeStyles(WindowRecord& record) {
    record.style = static_cast<DWORD>(ROI_SYSTEM(GetWindowLongW(record.window, GWL_STYLE)));
    record.extendedStyle = static_cast<DWORD>(ROI_SYSTEM(GetWindowLongW(record.window, GWL_EXSTYLE)));
}

// The frame's record, and an outer size that gives a client area of exactly size.
bool fitFrame(CanvasThread& canvas, HWND frame, const std::wstring& title, SIZE size) {
    const bool recorded = newRecord(frame, [](WindowRecord& record) {
        record.showCommand = SW_SHOW;
        takeStyles(record);
    });
    if (!recorded) {
        return false;
    }
    ROI_SYSTEM(SetWindowTextW(frame, title.c_str()));
    RECT outer;
    RECT client;
    if (ROI_SYSTEM(GetWindowRect(frame, &outer)) && ROI_SYSTEM(GetClientRect(frame, &client))) {
        const int outerWidth = size.cx + (outer.right - outer.left) - (client.right - client.left);
        const int outerHeight = size.cy + (outer.bottom - outer.top) - (client.bottom - client.top);
        ROI_SYSTEM(SetWindowPos(frame, nullptr, canvas.x, canvas.y, outerWidth, outerHeight, PLACE_QUIETLY));
    }
    return true;
}

// A memory DC and a bitmap of the surface's client size, both made for the surface's DC.
// The state owns them from here on; they go with it.
void createBacking(HWND surface, SurfaceState& state) {
    WindowDc surfaceDc(surface);
    if (!surfaceDc) {
        return;
    }
    RECT size = {0, 0, 0, 0};
    ROI_SYSTEM(GetClientRect(surface, &size));
    state.width = size.right;
    state.height = size.bottom;
    state.memoryDc.reset(ROI_SYSTEM(CreateCompatibleDC(surfaceDc)));
    if (state.memoryDc) {
        state.backingBitmap.reset(ROI_SYSTEM(CreateCompatibleBitmap(surfaceDc, state.width, state.height)));
    }
}

// The backing bitmap in its memory DC, filled with the background.
bool makeBitmap(HWND surface, SurfaceState& state, HBRUSH background) {
    createBacking(surface, state);
    if (!state.memoryDc || !state.backingBitmap) {
        return false;
    }
    state.replacedBitmap = ROI_SYSTEM(SelectObject(state.memoryDc, state.backingBitmap));
    if (state.replacedBitmap == nullptr) {
        return false;  // a DC without its bitmap would draw nowhere
    }
    if (background != nullptr) {
        RECT whole{0, 0, state.width, state.height};
        ROI_SYSTEM(FillRect(state.memoryDc, &whole, background));
    }
    return true;
}

// The canvas font in the memory DC and the text settings printing relies on.
bool selectCanvasFont(SurfaceState& state, HFONT font) {
    state.replacedFont = ROI_SYSTEM(SelectObject(state.memoryDc, font));
    if (state.replacedFont == nullptr) {
        return false;
    }
    TEXTMETRICW cell = {};
    if (!ROI_SYSTEM(GetTextMetricsW(state.memoryDc, &cell))) {
        return false;
    }
    state.averageCharWidth = cell.tmAveCharWidth;
    state.lineHeight = cell.tmHeight + cell.tmExternalLeading;
    // Text output moves the DC's current position, which is the print position.
    ROI_SYSTEM(SetTextAlign(state.memoryDc, TA_UPDATECP));
    ROI_SYSTEM(SetTextColor(state.memoryDc, state.foreground));
    ROI_SYSTEM(SetBkColor(state.memoryDc, state.background));
    ROI_SYSTEM(SetBkMode(state.memoryDc, OPAQUE));
    ROI_SYSTEM(MoveToEx(state.memoryDc, 0, 0, nullptr));
    return true;
}

// The owner-drawn surface with its drawing state: the backing bitmap and the font,
// made before the record has them, so no other thread can meet them half made. The
// record is linked, its parent the frame, whatever failed: it goes with the frame. The
// font is referenced for as long as the surface lives. False when anything failed.
bool makeSurface(CanvasThread& canvas, HWND frame, SIZE size, HFONT font, int fontNumber) {
    HWND surface = ROI_SYSTEM(CreateWindowExW(0, L"STATIC", nullptr, SURFACE_STYLE, 0, 0, size.cx, size.cy, frame,
                                              nullptr, programInstance(), nullptr));
    if (surface == nullptr) {
        return false;
    }
    std::unique_ptr<SurfaceState> state(new (std::nothrow) SurfaceState);
    HBRUSH background = nullptr;
    bool drawable = false;
    if (state != nullptr) {
        state->foreground = ROI_SYSTEM(GetSysColor(COLOR_WINDOWTEXT));
        state->background = ROI_SYSTEM(GetSysColor(COLOR_BTNFACE));
        background = shareBrush(state->background);
        drawable = makeBitmap(surface, *state, background) && selectCanvasFont(*state, font);
    }
    const bool recorded = newRecord(surface, [&](WindowRecord& record) {
        record.parent = frame;
        if (state == nullptr) {
            return;
        }
        record.kind = ControlKind::GraphicSurface;
        record.flags = RECORD_CANVAS_SURFACE | RECORD_CONTROL;
        takeStyles(record);
        record.textColour = static_cast<int>(state->foreground);
        record.backgroundColour = static_cast<int>(state->background);
        record.backgroundBrush = background;
        if (state->replacedFont != nullptr) {
            addFontReference(fontNumber);
            record.font = fontNumber;
        }
        record.surface = state.release();
    });
    if (!recorded || !drawable) {
        return false;
    }
    canvas.surface = surface;
    // Key capture and erasing go through the surface procedure.
    const auto previous = reinterpret_cast<WNDPROC>(
        ROI_SYSTEM(SetWindowLongPtrW(surface, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(surfaceProc))));
    if (const LockedRecord record(surface); record) {
        record->surface->previousProc = previous;
    }
    return true;
}

// Runs on the canvas thread; the frame, or 0 with everything undone.
HWND openCanvas(CanvasThread& canvas) {
    // 1. The font, realised for the screen and measured there.
    const int fontNumber = canvasFontNumber(canvas.font);
    HFONT font = realiseFont(fontNumber, nullptr);
    TEXTMETRICW metrics = {};
    if (font == nullptr || !measureFont(font, metrics)) {
        return nullptr;
    }
    const SIZE size = canvasPixels(canvas, metrics);
    // 2. The frame, with a client area of exactly that size.
    if (!registerCanvasClass()) {
        return nullptr;
    }
    const DWORD style = frameStyle(canvas);
    const std::wstring title = toWide(canvas.title);
    HWND frame = ROI_SYSTEM(CreateWindowExW(0, CANVAS_CLASS, title.c_str(), style, canvas.x, canvas.y, size.cx, size.cy,
                                            nullptr, nullptr, programInstance(), &canvas));
    if (frame == nullptr) {
        return nullptr;
    }
    // 3. The frame's record and size, the surface, its bitmap and font. A failure
    // destroys the frame, and its records with it; nobody else knows them yet.
    if (!fitFrame(canvas, frame, title, size) || !makeSurface(canvas, frame, size, font, fontNumber)) {
        canvas.closingByProgram = true;
        ROI_SYSTEM(DestroyWindow(frame));
        return nullptr;
    }
    // 4. Shown without activation, then brought forward with the focus on the surface.
    if ((canvas.options & CANVAS_SHOW) != 0) {
        ROI_SYSTEM(ShowWindow(frame, SW_SHOWNOACTIVATE));
    }
    ROI_SYSTEM(SetForegroundWindow(frame));
    ROI_SYSTEM(SetFocus(canvas.surface));
    return frame;
}

void publish(CanvasThread& canvas, HWND frame) {
    if (canvas.resultSlot != nullptr) {
        canvas.resultSlot->store(reinterpret_cast<LONG_PTR>(frame));
        canvas.resultSlot = nullptr;  // the creating thread's slot is gone once it has read it
    }
}

// Idle refresh: one attempt at the lock per turn, never a wait.
void refreshStep(const CanvasThread& canvas) {
    if (canvas.surface == nullptr) {
        return;
    }
    const DrawingAccess hold{DrawingAccess::TryOnce{}};
    if (!hold.held()) {
        if (const LockedRecord record(canvas.surface); record) {
            record->flags |= RECORD_REFRESH_REQUESTED;
        }
        return;
    }
    WindowRecord* record = hold.surface(canvas.surface);
    if (record != nullptr && hasFlags(*record, RECORD_DIRTY) && !hasFlags(*record, RECORD_DEFERRED_REDRAW)) {
        refresh(*record);
    }
}

void runCanvasLoop(CanvasThread& canvas) {
    MSG message;
    for (;;) {
        if (ROI_SYSTEM(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))) {
            if (message.message == WM_QUIT) {
                break;
            }
            ROI_SYSTEM(TranslateMessage(&message));
            ROI_SYSTEM(DispatchMessageW(&message));
        } else {
            ROI_SYSTEM(Sleep(1));  // an empty queue: give the processor away rather than spin
        }
        // The WM_QUIT posted to a window that is being destroyed may be dropped with
        // that window's messages; the loop does not depend on it.
        if (canvas.frameGone) {
            break;
        }
        refreshStep(canvas);
    }
}

DWORD WINAPI canvasThreadMain(LPVOID parameter) {
    std::unique_ptr<CanvasThread> canvas(static_cast<CanvasThread*>(parameter));
    callGuarded(
        [&] {
            HWND frame = openCanvas(*canvas);
            publish(*canvas, frame);
            if (frame != nullptr) {
                runCanvasLoop(*canvas);
                if (!canvas->frameGone && ROI_SYSTEM(IsWindow(frame))) {
                    // Someone else ended the loop: the block must outlive the window.
                    ROI_SYSTEM(DestroyWindow(frame));
                }
            }
        },
        [&] {
            // Nothing may escape a thread function; a failed start gives 0.
            publish(*canvas, nullptr);
            if (canvas->frame != nullptr && !canvas->frameGone && ROI_SYSTEM(IsWindow(canvas->frame))) {
                canvas->closingByProgram = true;
                ROI_SYSTEM(DestroyWindow(canvas->frame));
            }
        });
    releaseThreadRecord();
    return 0;
}

// ---- window procedures ----------------------------------------------------------------

LRESULT onFrameActivate(HWND frame, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) != WA_INACTIVE) {
        setActiveDialog(frame);
        ROI_SYSTEM(SetForegroundWindow(frame));
        ROI_SYSTEM(SetFocus(GetDlgItem(frame, 0)));
        return 0;
    }
    // Only if it still names this frame: the newly active window (another thread's)
    // may have claimed it already.
    if (activeDialog() == frame) {
        setActiveDialog(nullptr);
    }
    return ROI_SYSTEM(DefWindowProcW(frame, WM_ACTIVATE, wParam, lParam));
}

LRESULT onFrameClose(HWND frame, const CanvasThread* canvas, WPARAM wParam, LPARAM lParam) {
    if (canvas != nullptr && canvas->destroying) {
        return 0;  // a close that arrives while the window is already going
    }
    if (const LockedRecord frameRecord(frame); frameRecord && frameRecord->closeLock) {
        return 0;
    }
    if (canvas != nullptr && canvas->surface != nullptr) {
        if (const LockedRecord record(canvas->surface); record) {
            record->flags |= RECORD_CLOSED_BY_USER;
        }
    }
    return ROI_SYSTEM(DefWindowProcW(frame, WM_SYSCOMMAND, wParam, lParam));
}

void onFrameNcDestroy(HWND frame, CanvasThread* canvas) {
    // Closed by the user, the drawing thread may be inside an operation on this
    // surface: release the records only while holding graphicsLock. Closed by the
    // drawing thread, that thread holds the lock and waits for this one.
    const bool byProgram = canvas == nullptr || canvas->closingByProgram;
    if (byProgram) {
        releaseRecord(frame);
    } else {
        const DrawingAccess hold(DrawingAccess::Wait::ServeSentMessages);
        releaseRecord(frame);
    }
    if (canvas != nullptr) {
        canvas->surface = nullptr;
        canvas->frameGone = true;
    }
    threadRecord().currentCanvas = nullptr;
    ROI_SYSTEM(PostMessageA(frame, WM_QUIT, 0, 0));
}

// A bitmap made for window's DC; null when either cannot be had.
HBITMAP compatibleBitmap(HWND window, int width, int height) {
    WindowDc windowDc(window);
    if (!windowDc) {
        return nullptr;
    }
    return ROI_SYSTEM(CreateCompatibleBitmap(windowDc, width, height));
}

// Copies what fits of the surface's picture into bitmap, over the background, and
// selects bitmap into the memory DC in place of the old one. True when it is in.
// graphicsLock held.
bool swapInBitmap(const WindowRecord& record, HBITMAP bitmap, int width, int height) {
    SurfaceState& surface = *record.surface;
    MemoryDc copyDc([&] {
        MemoryDcHold dcHold;
        return ROI_SYSTEM(CreateCompatibleDC(surface.memoryDc));
    }());
    if (!copyDc) {
        return false;
    }
    SelectedObject selection(copyDc, bitmap);
    if (!selection) {
        return false;
    }
    RECT whole{0, 0, width, height};
    if (record.backgroundBrush != nullptr) {
        ROI_SYSTEM(FillRect(copyDc, &whole, record.backgroundBrush));
    }
    MemoryDcHold dcHold;
    ROI_SYSTEM(BitBlt(copyDc, 0, 0, std::min(width, surface.width), std::min(height, surface.height), surface.memoryDc,
                      0, 0, SRCCOPY));
    // Out of the copy DC first: a bitmap is selected into one DC at a time.
    return selection.restore() && ROI_SYSTEM(SelectObject(surface.memoryDc, bitmap)) != nullptr;
}

// Restored after being minimised (the frame cannot be resized otherwise): a backing
// bitmap of the new client size, keeping what fits of the old content.
void onFrameSize(const CanvasThread* canvas, WPARAM wParam, LPARAM lParam) {
    if (wParam == SIZE_MINIMIZED || canvas == nullptr || canvas->surface == nullptr) {
        return;
    }
    const int width = LOWORD(lParam);
    const int height = HIWORD(lParam);
    if (width <= 0 || height <= 0) {
        return;
    }
    const DrawingAccess hold(DrawingAccess::Wait::ServeSentMessages);
    // The wait for the lock serves sent messages, among them a close that destroys the
    // surface and releases its record: look it up now that the lock is held.
    WindowRecord* found = canvas->surface != nullptr ? hold.surface(canvas->surface) : nullptr;
    if (found == nullptr) {
        return;
    }
    WindowRecord& record = *found;
    SurfaceState& surface = *record.surface;
    // Until the swap succeeds the old bitmap stays the surface's and this one is deleted.
    GdiObject<HBITMAP> bitmap(compatibleBitmap(record.window, width, height));
    if (!bitmap || !swapInBitmap(record, bitmap.get(), width, height)) {
        return;
    }
    surface.backingBitmap.reset(bitmap.release());
    surface.width = width;
    surface.height = height;
    ROI_SYSTEM(SetWindowPos(record.window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE));
    record.flags |= RECORD_REFRESH_REQUESTED;
    markDrawn(record, RECT{0, 0, width, height});
}

// A click on the surface, as its own procedure or the frame's notification tells it.
void recordClick(HWND surface, bool doubleClick, const POINT* position) {
    if (const LockedRecord record(surface); record && record->surface != nullptr) {
        if (position != nullptr) {
            record->surface->clickPosition = *position;
        }
        (doubleClick ? record->surface->doubleClicked : record->surface->clicked) = true;
    }
}

void onSurfaceNotification(const CanvasThread* canvas, bool doubleClick) {
    if (canvas == nullptr || canvas->surface == nullptr) {
        return;
    }
    POINT pointer;
    const bool known = ROI_SYSTEM(GetCursorPos(&pointer)) && ROI_SYSTEM(ScreenToClient(canvas->surface, &pointer));
    recordClick(canvas->surface, doubleClick, known ? &pointer : nullptr);
}

LRESULT routeFrameMessage(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    CanvasThread* canvas = canvasOf(frame);
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* block = static_cast<CanvasThread*>(create->lpCreateParams);
        ROI_SYSTEM(SetWindowLongPtrW(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(block)));
        if (block != nullptr) {
            block->frame = frame;
        }
        break;
    }
    case WM_DRAWITEM:
        paintSurface(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_ACTIVATE:
        return onFrameActivate(frame, wParam, lParam);
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            return onFrameClose(frame, canvas, wParam, lParam);
        }
        break;
    case WM_DESTROY:
        if (canvas != nullptr) {
            canvas->destroying = true;
        }
        break;
    case WM_NCDESTROY:
        onFrameNcDestroy(frame, canvas);
        ROI_SYSTEM(SetWindowLongPtrW(frame, GWLP_USERDATA, 0));
        break;
    case WM_COMMAND:
        if (canvas != nullptr && reinterpret_cast<HWND>(lParam) == canvas->surface &&
            (HIWORD(wParam) == STN_CLICKED || HIWORD(wParam) == STN_DBLCLK)) {
            onSurfaceNotification(canvas, HIWORD(wParam) == STN_DBLCLK);
        }
        break;
    case WM_SIZE:
        onFrameSize(canvas, wParam, lParam);
        break;
    default:
        if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK && canvas != nullptr && canvas->surface != nullptr &&
            ROI_SYSTEM(IsWindow(canvas->surface))) {
            auto procedure = reinterpret_cast<WNDPROC>(ROI_SYSTEM(GetWindowLongPtrW(canvas->surface, GWLP_WNDPROC)));
            if (procedure != nullptr &&
                ROI_SYSTEM(CallWindowProcW(procedure, canvas->surface, message, wParam, lParam)) != 0) {
                return 0;
            }
        }
        break;
    }
    return ROI_SYSTEM(DefWindowProcW(frame, message, wParam, lParam));
}

constexpr UINT BRING_FORWARD = WM_USER + 0x1000;  // private: foreground and focus to the surface
static_assert(BRING_FORWARD == 0x1400);

LRESULT CALLBACK frameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    return callGuarded([&] { return routeFrameMessage(frame, message, wParam, lParam); },
                       [&] { return ROI_SYSTEM(DefWindowProcW(frame, message, wParam, lParam)); });
}

// Whether surface has its record and drawing state, and the procedure it had before the canvas's.
struct SurfaceProcedure {
    bool known = false;
    WNDPROC previous = nullptr;
};

SurfaceProcedure procedureOf(HWND surface) {
    const LockedRecord record(surface);
    if (!record || record->surface == nullptr) {
        return SurfaceProcedure{};
    }
    return SurfaceProcedure{true, record->surface->previousProc};
}

LRESULT routeSurfaceMessage(HWND surface, UINT message, WPARAM wParam, LPARAM lParam) {
    const SurfaceProcedure procedure = procedureOf(surface);
    if (!procedure.known) {
        return ROI_SYSTEM(DefWindowProcW(surface, message, wParam, lParam));
    }
    switch (message) {
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        const bool numLockOn = (ROI_SYSTEM(GetKeyState(VK_NUMLOCK)) & 1) != 0;
        const bool shiftDown = ROI_SYSTEM(GetKeyState(VK_SHIFT)) < 0;
        const LONG key = keyToCapture(message, wParam, lParam, numLockOn, shiftDown);
        if (key != 0) {
            if (const LockedRecord record(surface); record && record->surface != nullptr) {
                record->surface->lastKey = key;
            }
            return 0;
        }
        break;
    }
    case WM_LBUTTONDOWN: {
        ROI_SYSTEM(SetFocus(surface));
        const POINT position{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        recordClick(surface, false, &position);
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        recordClick(surface, true, nullptr);
        return 0;
    case WM_SETFOCUS:
        if (const LockedRecord record(surface); record) {
            record->flags |= RECORD_HAS_FOCUS;
        }
        break;
    case WM_KILLFOCUS:
        if (const LockedRecord record(surface); record) {
            record->flags &= ~RECORD_HAS_FOCUS;
        }
        break;
    case BRING_FORWARD:
        ROI_SYSTEM(SetForegroundWindow(GetParent(surface)));
        ROI_SYSTEM(SetFocus(surface));
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the bitmap covers every pixel; erasing would only flicker
    default:
        break;
    }
    if (procedure.previous != nullptr) {
        return ROI_SYSTEM(CallWindowProcW(procedure.previous, surface, message, wParam, lParam));
    }
    return ROI_SYSTEM(DefWindowProcW(surface, message, wParam, lParam));
}

LRESULT CALLBACK surfaceProc(HWND surface, UINT message, WPARAM wParam, LPARAM lParam) {
    return callGuarded([&] { return routeSurfaceMessage(surface, message, wParam, lParam); },
                       [&] { return ROI_SYSTEM(DefWindowProcW(surface, message, wParam, lParam)); });
}

}  // namespace

// ---- pure rules ---------------------------------------------------------------------------

LONG keyToCapture(UINT message, WPARAM wParam, LPARAM lParam, bool numLockOn, bool shiftDown) {
    const int scanCode = scanCodeOf(lParam);
    const LONG asScanCode = static_cast<LONG>(lParam & 0x00FF0000);
    const bool extended = (lParam & EXTENDED_KEY) != 0;
    switch (message) {
    case WM_CHAR:
        return wParam == '\t' ? 0 : static_cast<LONG>(wParam & 0xFFFF);
    case WM_KEYDOWN:
        if (extended) {
            // Keypad Enter and /, Caps Lock, Num Lock and Break keep their default handling.
            const bool excluded =
                scanCode == 0x1C || scanCode == 0x35 || scanCode == 0x3A || scanCode == 0x45 || scanCode == 0x46;
            return excluded ? 0 : asScanCode;
        }
        if ((scanCode >= 0x3B && scanCode <= 0x44) || scanCode == 0x57 || scanCode == 0x58) {
            return asScanCode;  // F1 to F12
        }
        if (scanCode >= 0x47 && scanCode <= 0x53 && scanCode != 0x4A && scanCode != 0x4E) {
            // Keypad keys as cursor keys; with Num Lock on they type digits instead.
            return (!numLockOn || shiftDown) ? asScanCode : 0;
        }
        return 0;
    case WM_SYSKEYDOWN:
        return (!extended && scanCode == 0x44) ? asScanCode : 0;  // F10, alone or with Alt
    default:
        return 0;
    }
}

// ---- the drawing state ----------------------------------------------------------------------

DrawingAccess::DrawingAccess(Wait wait) : held_(true) {
    graphicsLock.take(wait);
}

DrawingAccess::DrawingAccess(TryOnce) : held_(graphicsLock.tryTake()) {}

DrawingAccess::~DrawingAccess() {
    if (held_ && !paused_) {
        graphicsLock.give();
    }
}

WindowRecord* DrawingAccess::surface(HWND window) const {
    if (!held_ || paused_ || window == nullptr || !ROI_SYSTEM(IsWindow(window))) {
        return nullptr;
    }
    WindowRecord* record = recordUnderGraphicsLock(GraphicsLockHeld{}, window);
    if (record == nullptr || record->kind != ControlKind::GraphicSurface || record->surface == nullptr ||
        record->surface->memoryDc == nullptr) {
        return nullptr;
    }
    return record;
}

WindowRecord* DrawingAccess::currentSurface() const {
    return surface(threadRecord().currentCanvas);
}

void DrawingAccess::pause() {
    paused_ = graphicsLock.heldOnce();
    if (paused_) {
        graphicsLock.give();
    }
}

void DrawingAccess::resume() {
    if (paused_) {
        graphicsLock.take(Wait::Spin);
        paused_ = false;
    }
}

// ---- operations ---------------------------------------------------------------------------

void selectCanvas(HWND parent, int canvas, bool deferredRedraw) {
    ThreadRecord& thread = threadRecord();
    thread.currentCanvas = nullptr;
    HWND target = nullptr;
    if (parent != nullptr) {
        HWND control = ROI_SYSTEM(GetDlgItem(parent, canvas));
        target = control != nullptr ? control : parent;
    }
    // Held so the canvas thread cannot release the record while its flag changes.
    const DrawingAccess hold;
    WindowRecord* record = hold.surface(target);
    if (record == nullptr) {
        reportError(ERR_BAD_ARGUMENT);
        return;
    }
    if (deferredRedraw) {
        record->flags |= RECORD_DEFERRED_REDRAW;
    } else {
        record->flags &= ~RECORD_DEFERRED_REDRAW;
    }
    thread.currentCanvas = target;
}

HWND createCanvasWindow(std::string_view title, int x, int y, int width, int height, int options, DWORD style,
                        int font) {
    std::atomic<LONG_PTR> result{-1};
    std::unique_ptr<CanvasThread> canvas;
    try {
        canvas = std::make_unique<CanvasThread>();
        canvas->title.assign(title);
    } catch (...) {
        reportError(ERR_NO_MEMORY);
        return nullptr;
    }
    canvas->x = x;
    canvas->y = y;
    canvas->width = width;
    canvas->height = height;
    canvas->options = options;
    canvas->style = style;
    canvas->font = font;
    canvas->resultSlot = &result;
    // What an engine dialog asks of a surface (ui/dialog_engine.h).
    setSurfaceHooks(SurfaceHooks{paintSurface, selectSurfaceFont});
    HANDLE thread = ROI_SYSTEM(CreateThread(nullptr, 0, canvasThreadMain, canvas.get(), 0, nullptr));
    if (thread == nullptr) {
        return nullptr;
    }
    static_cast<void>(canvas.release());  // canvasThreadMain owns the block now
    ROI_SYSTEM(CloseHandle(thread));
    // The handle comes back only after the window, the bitmap and the font are ready.
    while (result == -1) {
        ROI_SYSTEM(Sleep(0));  // yields only: the canvas thread needs the processor to get there
    }
    HWND frame = reinterpret_cast<HWND>(result.load());
    if (frame != nullptr && threadRecord().currentCanvas == nullptr) {
        selectCanvas(frame, 0, false);
    }
    // The new window's first paint and activation happen on its own thread: a pause
    // lets them finish before the caller draws or waits for a key.
    ROI_SYSTEM(Sleep(50));
    return frame;
}

void printText(std::string_view text) {
    const DrawingAccess hold;
    WindowRecord* record = hold.currentSurface();
    if (record == nullptr || text.empty()) {
        return;
    }
    const std::wstring wide = toWide(text);
    if (wide.empty()) {
        return;
    }
    SurfaceState& surface = *record->surface;
    // Clipped to the row, from the print position to the bitmap's right edge.
    RECT clip{std::min(surface.x, surface.width), surface.y, surface.width, surface.y + surface.lineHeight};
    const int oldX = surface.x;
    {
        MemoryDcHold dcHold;
        ROI_SYSTEM(ExtTextOutW(surface.memoryDc, 0, 0, ETO_CLIPPED, &clip, wide.data(), static_cast<UINT>(wide.size()),
                               nullptr));
        POINT position;
        if (ROI_SYSTEM(GetCurrentPositionEx(surface.memoryDc, &position))) {
            surface.x = position.x;
            surface.y = position.y;
        }
    }
    markDrawn(*record, RECT{oldX, surface.y, surface.x, surface.y + surface.lineHeight});
}

void newLine() {
    const DrawingAccess hold;
    WindowRecord* record = hold.currentSurface();
    if (record == nullptr) {
        return;
    }
    SurfaceState& surface = *record->surface;
    surface.x = surface.originX;
    surface.y += surface.lineHeight;
    MemoryDcHold dcHold;
    ROI_SYSTEM(MoveToEx(surface.memoryDc, surface.x, surface.y, nullptr));
}

void setColumn(int column) {
    const DrawingAccess hold;
    WindowRecord* record = hold.currentSurface();
    if (record == nullptr) {
        return;
    }
    SurfaceState& surface = *record->surface;
    // Far-off columns are cut down to a position the DC can hold.
    const long long wanted = surface.originX + (static_cast<long long>(column) - 1) * surface.averageCharWidth;
    const int x = static_cast<int>(std::clamp(wanted, -1000000LL, 1000000LL));
    if (x < surface.x) {
        surface.y += surface.lineHeight;
    }
    surface.x = x;
    MemoryDcHold dcHold;
    ROI_SYSTEM(MoveToEx(surface.memoryDc, surface.x, surface.y, nullptr));
}

std::wstring waitForKey(DWORD limit, std::wstring_view allowed, AfterWait after) {
    DrawingAccess hold;
    WindowRecord* record = hold.currentSurface();
    if (record == nullptr) {
        return std::wstring();
    }
    PendingWait wait;
    wait.surface = record->window;
    wait.allowed = allowed;
    wait.after = after;
    if (limit != 0) {
        wait.timed = true;
        wait.limit = static_cast<int>(std::min<DWORD>(limit, LONGEST_WAIT_MS));
        wait.start = clockNow();
    }
    WaitLink link(wait);
    while (!wait.finished) {
        record = hold.surface(wait.surface);
        if (record == nullptr || hasFlags(*record, RECORD_CLOSED_BY_USER)) {
            finish(wait, std::wstring());
            break;
        }
        if (hasFlags(*record, RECORD_DIRTY) && !hasFlags(*record, RECORD_DEFERRED_REDRAW)) {
            refresh(*record);
        }
        hold.pause();
        pumpMessage();
        hold.resume();
        if (wait.finished) {
            break;  // a wait started while pumping took this one's key
        }
        record = hold.surface(wait.surface);
        if (record == nullptr) {
            finish(wait, std::wstring());
            break;
        }
        if (takeKey(wait, *record)) {
            break;
        }
        serveOuterWaits(hold, wait.outer);
    }
    closeAfterWait(hold, wait);
    return wait.key;
}

void closeCanvasWindow(HWND canvas) {
    const DrawingAccess hold;
    ThreadRecord& thread = threadRecord();
    HWND target = canvas;
    if (canvas == nullptr) {
        target = thread.currentCanvas;
    } else if (HWND surface = ROI_SYSTEM(GetDlgItem(canvas, 0)); surface != nullptr) {
        target = surface;
    }
    const WindowRecord* record = hold.surface(target);
    if (record == nullptr) {
        return;
    }
    if (canvas != nullptr && canvas == thread.currentCanvas) {
        thread.currentCanvas = nullptr;
    }
    closeSurfaceWindow(*record);
}

void paintSurface(const DRAWITEMSTRUCT& item) {
    if ((item.itemAction & ODA_DRAWENTIRE) == 0) {
        return;
    }
    // Read under the record-list lock and used on this thread, which owns the surface
    // and alone changes or releases its DC and size.
    HDC memoryDc = nullptr;
    SIZE size = {0, 0};
    {
        const LockedRecord record(item.hwndItem);
        if (!record || record->kind != ControlKind::GraphicSurface || record->surface == nullptr ||
            record->surface->memoryDc == nullptr) {
            return;
        }
        memoryDc = record->surface->memoryDc;
        size = SIZE{record->surface->width, record->surface->height};
    }
    MemoryDcHold dcHold;
    ROI_SYSTEM(BitBlt(item.hDC, 0, 0, size.cx, size.cy, memoryDc, 0, 0, SRCCOPY));
}

bool selectSurfaceFont(HWND window, HFONT font) {
    const DrawingAccess hold;
    WindowRecord* record = hold.surface(window);
    if (record == nullptr) {
        return false;
    }
    SurfaceState& surface = *record->surface;
    TEXTMETRICW metrics = {};
    BOOL measured = FALSE;
    {
        MemoryDcHold dcHold;
        const HGDIOBJ replaced = ROI_SYSTEM(SelectObject(surface.memoryDc, font));
        if (replaced == nullptr || replaced == HGDI_ERROR) {
            return false;
        }
        if (surface.replacedFont == nullptr) {
            surface.replacedFont = replaced;
        }
        measured = ROI_SYSTEM(GetTextMetricsW(surface.memoryDc, &metrics));
    }
    if (measured != FALSE) {
        surface.averageCharWidth = metrics.tmAveCharWidth;
        surface.lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    }
    return true;
}

bool copySurfaceBitmap(HWND surface, HDC target) {
    const DrawingAccess hold;
    const WindowRecord* record = hold.surface(surface);
    if (record == nullptr || target == nullptr) {
        return false;
    }
    const SurfaceState& state = *record->surface;
    MemoryDcHold dcHold;
    return ROI_SYSTEM(BitBlt(target, 0, 0, state.width, state.height, state.memoryDc, 0, 0, SRCCOPY)) != FALSE;
}

}  // namespace roi
