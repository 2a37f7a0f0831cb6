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
// close the window), so a record found under the lock stays valid until it is released.
#include "ui/canvas_window.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "app/runtime.h"
#include "app/spin_lock.h"
#include "core/key_wait.h"
#include "ui/dialog_engine.h"
#include "ui/procedure_guard.h"
#include "ui/scoped_gdi.h"
#include "ui/window_records.h"

namespace roi {

namespace {

// ---- graphicsLock -----------------------------------------------------------------

SpinLock graphicsLock;

// How deeply the calling thread holds graphicsLock. The drawing thread can be entered
// again while it holds the lock (a message sent from another thread arrives while it
// waits inside a cross-thread UpdateWindow or SendMessageW, and the main window's
// handler may open another help screen), so a nested hold must not spin on itself.
thread_local int graphicsDepth = 0;

enum class LockWait {
    Spin,               // Sleep(0) between attempts: the drawing thread
    ServeSentMessages,  // the canvas thread: answers messages sent by a thread holding the lock
};

void takeGraphics(LockWait wait) {
    if (graphicsDepth++ > 0) {
        return;
    }
    while (!tryAcquire(graphicsLock)) {
        if (wait == LockWait::ServeSentMessages) {
            // PeekMessageW delivers messages sent to this thread; the holder may be
            // waiting for one of them (UpdateWindow, the close of another window).
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        Sleep(0);
    }
}

bool tryTakeGraphics() {
    if (graphicsDepth > 0) {
        ++graphicsDepth;
        return true;
    }
    if (!tryAcquire(graphicsLock)) {
        return false;
    }
    graphicsDepth = 1;
    return true;
}

void giveGraphics() {
    if (--graphicsDepth == 0) {
        release(graphicsLock);
    }
}

// Holds graphicsLock for one scope; the only way this file takes it.
class GraphicsHold {
public:
    explicit GraphicsHold(LockWait wait = LockWait::Spin) : held_(true) { takeGraphics(wait); }
    // One attempt only (the canvas thread's refresh step); check held().
    struct TryOnce {};
    explicit GraphicsHold(TryOnce) : held_(tryTakeGraphics()) {}
    ~GraphicsHold() {
        if (held_) {
            giveGraphics();
        }
    }
    GraphicsHold(const GraphicsHold&) = delete;
    GraphicsHold& operator=(const GraphicsHold&) = delete;

    bool held() const { return held_; }

    // Lets the lock go while the wait pumps messages, unless an outer scope of this
    // thread still holds it; resume() takes it back.
    void pause() {
        paused_ = graphicsDepth == 1;
        if (paused_) {
            giveGraphics();
        }
    }
    void resume() {
        if (paused_) {
            takeGraphics(LockWait::Spin);
            paused_ = false;
        }
    }

private:
    bool held_;
    bool paused_ = false;
};

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

// ---- record flags -----------------------------------------------------------------

// The canvas thread sets flags without graphicsLock (refresh requested, closed by the
// user, focus), so every change is one atomic operation.
// The field stays a plain member of the plain record; no record is ever const itself.
std::atomic_ref<std::uint32_t> flagsOf(const WindowRecord& record) {
    return std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(record.flags));
}

void setFlags(WindowRecord& record, std::uint32_t bits) {
    flagsOf(record).fetch_or(bits);
}

void clearFlags(WindowRecord& record, std::uint32_t bits) {
    flagsOf(record).fetch_and(~bits);
}

bool hasFlags(const WindowRecord& record, std::uint32_t bits) {
    return (flagsOf(record).load() & bits) != 0;
}

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
    WindowRecord* surfaceRecord = nullptr;  // canvas thread only; null once released
    // Set by the drawing thread, holding graphicsLock, just before it sends the close:
    // the records may then be released without taking the lock it holds.
    std::atomic<bool> closingByProgram{false};
    bool destroying = false;
    bool frameGone = false;
};

CanvasThread* canvasOf(HWND frame) {
    return reinterpret_cast<CanvasThread*>(GetWindowLongPtrW(frame, GWLP_USERDATA));
}

// ---- surfaces -----------------------------------------------------------------------

// window's record when it is a live canvas surface with its drawing state, else null.
WindowRecord* surfaceRecord(HWND window) {
    if (window == nullptr || !IsWindow(window)) {
        return nullptr;
    }
    WindowRecord* record = findRecord(window);
    if (record == nullptr || record->kind != ControlKind::GraphicSurface || record->surface == nullptr ||
        record->surface->memoryDc == nullptr) {
        return nullptr;
    }
    return record;
}

WindowRecord* currentSurface() {
    return surfaceRecord(threadRecord().currentCanvas);
}

// Puts the dirty rectangle on the screen: painting runs on the canvas thread, inside
// UpdateWindow (sent across when the drawing thread refreshes).
void refresh(WindowRecord& record) {
    SurfaceState& surface = *record.surface;
    RECT dirty = surface.dirty;
    // Cleared first: a drawing that arrives while UpdateWindow waits stays marked.
    surface.dirty = RECT{0, 0, 0, 0};
    clearFlags(record, RECORD_DIRTY);
    InvalidateRect(record.window, &dirty, FALSE);
    UpdateWindow(record.window);
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
    if (IntersectRect(&clamped, &normal, &bitmap)) {
        RECT joined;
        UnionRect(&joined, &surface.dirty, &clamped);
        surface.dirty = joined;
    }
    setFlags(record, RECORD_DIRTY);
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
    clearFlags(record, RECORD_REFRESH_REQUESTED);
    surface.refreshCounter = 0;
}

// Closes the window of a canvas-window surface; graphicsLock held. Returns after the
// canvas thread has destroyed it; record is gone by then.
void closeSurfaceWindow(WindowRecord& record) {
    if (!hasFlags(record, RECORD_CANVAS_SURFACE)) {
        return;
    }
    HWND frame = record.parent;
    WindowRecord* frameRecord = findRecord(frame);
    if (frameRecord != nullptr) {
        frameRecord->closeLock = false;
    }
    CanvasThread* canvas = canvasOf(frame);
    if (canvas != nullptr) {
        canvas->closingByProgram = true;
    }
    SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// ---- waits ----------------------------------------------------------------------------

int clockNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
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
        MessageBeep(0);
    }
    if (wait.timed && clockDeadlinePassed(wait.start, wait.limit, clockNow())) {
        finish(wait, std::wstring());
        return true;
    }
    return false;
}

// Closes a finished wait's window if it asked for that. graphicsLock held.
void closeAfterWait(const PendingWait& wait) {
    if (wait.after != AfterWait::CloseWindow) {
        return;
    }
    WindowRecord* record = surfaceRecord(wait.surface);
    if (record != nullptr) {
        closeSurfaceWindow(*record);
    }
}

// The turn the innermost wait takes for the waits it interrupted. graphicsLock held.
void serveOuterWaits(PendingWait* outer) {
    for (PendingWait* wait = outer; wait != nullptr; wait = wait->outer) {
        if (wait->finished) {
            continue;
        }
        WindowRecord* record = surfaceRecord(wait->surface);
        if (record == nullptr || hasFlags(*record, RECORD_CLOSED_BY_USER)) {
            finish(*wait, std::wstring());
        } else if (takeKey(*wait, *record)) {
            closeAfterWait(*wait);
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
    windowClass.hIcon = LoadIconW(nullptr, IDI_ASTERISK);
    windowClass.hIconSm = LoadIconW(nullptr, IDI_ASTERISK);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = CANVAS_CLASS;
    canvasClass = RegisterClassExW(&windowClass);
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
    return selection && GetTextMetricsW(screen, &metrics);
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

// The frame's record, and an outer size that gives a client area of exactly size.
bool fitFrame(CanvasThread& canvas, HWND frame, const std::wstring& title, SIZE size) {
    WindowRecord* frameRecord = newRecord(frame);
    if (frameRecord == nullptr) {
        return false;
    }
    frameRecord->showCommand = SW_SHOW;
    frameRecord->style = static_cast<DWORD>(GetWindowLongW(frame, GWL_STYLE));
    frameRecord->extendedStyle = static_cast<DWORD>(GetWindowLongW(frame, GWL_EXSTYLE));
    SetWindowTextW(frame, title.c_str());
    RECT outer;
    RECT client;
    if (GetWindowRect(frame, &outer) && GetClientRect(frame, &client)) {
        const int outerWidth = size.cx + (outer.right - outer.left) - (client.right - client.left);
        const int outerHeight = size.cy + (outer.bottom - outer.top) - (client.bottom - client.top);
        SetWindowPos(frame, nullptr, canvas.x, canvas.y, outerWidth, outerHeight, PLACE_QUIETLY);
    }
    return true;
}

// The owner-drawn surface, its record and drawing state; the record, or null.
WindowRecord* makeSurface(CanvasThread& canvas, HWND frame, SIZE size) {
    HWND surface = CreateWindowExW(0, L"STATIC", nullptr, SURFACE_STYLE, 0, 0, size.cx, size.cy, frame, nullptr,
                                   programInstance(), nullptr);
    if (surface == nullptr) {
        return nullptr;
    }
    WindowRecord* record = newRecord(surface);
    if (record == nullptr) {
        return nullptr;
    }
    // Releasing the frame's record releases the records whose parent is the frame: set
    // before anything else can fail, this one goes with the frame on every way out.
    record->parent = frame;
    SurfaceState* state = new (std::nothrow) SurfaceState;
    if (state == nullptr) {
        return nullptr;
    }
    record->kind = ControlKind::GraphicSurface;
    record->flags = RECORD_CANVAS_SURFACE | RECORD_CONTROL;
    record->style = static_cast<DWORD>(GetWindowLongW(surface, GWL_STYLE));
    record->extendedStyle = static_cast<DWORD>(GetWindowLongW(surface, GWL_EXSTYLE));
    record->surface = state;
    state->foreground = GetSysColor(COLOR_WINDOWTEXT);
    state->background = GetSysColor(COLOR_BTNFACE);
    record->textColour = static_cast<int>(state->foreground);
    record->backgroundColour = static_cast<int>(state->background);
    record->backgroundBrush = shareBrush(state->background);
    canvas.surface = surface;
    // Key capture and erasing go through the surface procedure.
    state->previousProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(surface, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(surfaceProc)));
    return record;
}

// A memory DC and a bitmap of the surface's client size, both made for the surface's DC.
// The state owns them from here on; they go with its record.
void createBacking(HWND surface, SurfaceState& state) {
    WindowDc surfaceDc(surface);
    if (!surfaceDc) {
        return;
    }
    RECT size = {0, 0, 0, 0};
    GetClientRect(surface, &size);
    state.width = size.right;
    state.height = size.bottom;
    state.memoryDc.reset(CreateCompatibleDC(surfaceDc));
    if (state.memoryDc) {
        state.backingBitmap.reset(CreateCompatibleBitmap(surfaceDc, state.width, state.height));
    }
}

// The backing bitmap in its memory DC, filled with the background.
bool makeBitmap(WindowRecord& record) {
    SurfaceState& state = *record.surface;
    createBacking(record.window, state);
    if (!state.memoryDc || !state.backingBitmap) {
        return false;
    }
    state.replacedBitmap = SelectObject(state.memoryDc, state.backingBitmap);
    if (state.replacedBitmap == nullptr) {
        return false;  // a DC without its bitmap would draw nowhere
    }
    if (record.backgroundBrush != nullptr) {
        RECT whole{0, 0, state.width, state.height};
        FillRect(state.memoryDc, &whole, record.backgroundBrush);
    }
    return true;
}

// The canvas font in the memory DC, referenced for as long as the surface lives, and
// the text settings printing relies on.
bool selectCanvasFont(WindowRecord& record, HFONT font, int fontNumber) {
    SurfaceState& state = *record.surface;
    state.replacedFont = SelectObject(state.memoryDc, font);
    if (state.replacedFont == nullptr) {
        return false;
    }
    addFontReference(fontNumber);
    record.font = fontNumber;
    TEXTMETRICW cell = {};
    if (!GetTextMetricsW(state.memoryDc, &cell)) {
        return false;
    }
    state.averageCharWidth = cell.tmAveCharWidth;
    state.lineHeight = cell.tmHeight + cell.tmExternalLeading;
    // Text output moves the DC's current position, which is the print position.
    SetTextAlign(state.memoryDc, TA_UPDATECP);
    SetTextColor(state.memoryDc, state.foreground);
    SetBkColor(state.memoryDc, state.background);
    SetBkMode(state.memoryDc, OPAQUE);
    MoveToEx(state.memoryDc, 0, 0, nullptr);
    return true;
}

// Everything after the frame exists: its record and size, the surface, the bitmap and
// the font. False leaves the caller to destroy the frame.
bool furnishFrame(CanvasThread& canvas, HWND frame, const std::wstring& title, SIZE size, HFONT font, int fontNumber) {
    if (!fitFrame(canvas, frame, title, size)) {
        return false;
    }
    WindowRecord* record = makeSurface(canvas, frame, size);
    if (record == nullptr || !makeBitmap(*record) || !selectCanvasFont(*record, font, fontNumber)) {
        return false;
    }
    canvas.surfaceRecord = record;
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
    HWND frame = CreateWindowExW(0, CANVAS_CLASS, title.c_str(), style, canvas.x, canvas.y, size.cx, size.cy, nullptr,
                                 nullptr, programInstance(), &canvas);
    if (frame == nullptr) {
        return nullptr;
    }
    // 3. The surface, its bitmap and font. A failure destroys the frame, and its records
    // with it; nobody else knows them yet.
    if (!furnishFrame(canvas, frame, title, size, font, fontNumber)) {
        canvas.closingByProgram = true;
        DestroyWindow(frame);
        return nullptr;
    }
    // 4. Shown without activation, then brought forward with the focus on the surface.
    if ((canvas.options & CANVAS_SHOW) != 0) {
        ShowWindow(frame, SW_SHOWNOACTIVATE);
    }
    SetForegroundWindow(frame);
    SetFocus(canvas.surface);
    return frame;
}

void publish(CanvasThread& canvas, HWND frame) {
    if (canvas.resultSlot != nullptr) {
        canvas.resultSlot->store(reinterpret_cast<LONG_PTR>(frame));
        canvas.resultSlot = nullptr;  // the creating thread's slot is gone once it has read it
    }
}

// Idle refresh: one attempt at the lock per turn, never a wait.
void refreshStep(CanvasThread& canvas) {
    WindowRecord* record = canvas.surfaceRecord;
    if (record == nullptr) {
        return;
    }
    GraphicsHold hold{GraphicsHold::TryOnce{}};
    if (!hold.held()) {
        setFlags(*record, RECORD_REFRESH_REQUESTED);
        return;
    }
    if (hasFlags(*record, RECORD_DIRTY) && !hasFlags(*record, RECORD_DEFERRED_REDRAW)) {
        refresh(*record);
    }
}

void runCanvasLoop(CanvasThread& canvas) {
    MSG message;
    for (;;) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else {
            Sleep(1);  // an empty queue: give the processor away rather than spin
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
    try {
        HWND frame = openCanvas(*canvas);
        publish(*canvas, frame);
        if (frame != nullptr) {
            runCanvasLoop(*canvas);
            if (!canvas->frameGone && IsWindow(frame)) {
                // Someone else ended the loop: the block must outlive the window.
                DestroyWindow(frame);
            }
        }
    } catch (...) {
        // Nothing may escape a thread function; a failed start gives 0.
        publish(*canvas, nullptr);
        if (canvas->frame != nullptr && !canvas->frameGone && IsWindow(canvas->frame)) {
            canvas->closingByProgram = true;
            DestroyWindow(canvas->frame);
        }
    }
    releaseThreadRecord();
    return 0;
}

// ---- window procedures ----------------------------------------------------------------

LRESULT onFrameActivate(HWND frame, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) != WA_INACTIVE) {
        setActiveDialog(frame);
        SetForegroundWindow(frame);
        SetFocus(GetDlgItem(frame, 0));
        return 0;
    }
    // Only if it still names this frame: the newly active window (another thread's)
    // may have claimed it already.
    if (activeDialog() == frame) {
        setActiveDialog(nullptr);
    }
    return DefWindowProcW(frame, WM_ACTIVATE, wParam, lParam);
}

LRESULT onFrameClose(HWND frame, CanvasThread* canvas, WPARAM wParam, LPARAM lParam) {
    if (canvas != nullptr && canvas->destroying) {
        return 0;  // a close that arrives while the window is already going
    }
    WindowRecord* frameRecord = findRecord(frame);
    if (frameRecord != nullptr && frameRecord->closeLock) {
        return 0;
    }
    if (canvas != nullptr && canvas->surfaceRecord != nullptr) {
        setFlags(*canvas->surfaceRecord, RECORD_CLOSED_BY_USER);
    }
    return DefWindowProcW(frame, WM_SYSCOMMAND, wParam, lParam);
}

void onFrameNcDestroy(HWND frame, CanvasThread* canvas) {
    // Closed by the user, the drawing thread may be inside an operation on this
    // surface: release the records only while holding graphicsLock. Closed by the
    // drawing thread, that thread holds the lock and waits for this one.
    const bool byProgram = canvas == nullptr || canvas->closingByProgram;
    if (byProgram) {
        releaseRecord(frame);
    } else {
        GraphicsHold hold(LockWait::ServeSentMessages);
        releaseRecord(frame);
    }
    if (canvas != nullptr) {
        canvas->surfaceRecord = nullptr;
        canvas->frameGone = true;
    }
    threadRecord().currentCanvas = nullptr;
    PostMessageA(frame, WM_QUIT, 0, 0);
}

// A bitmap made for window's DC; null when either cannot be had.
HBITMAP compatibleBitmap(HWND window, int width, int height) {
    WindowDc windowDc(window);
    if (!windowDc) {
        return nullptr;
    }
    return CreateCompatibleBitmap(windowDc, width, height);
}

// Copies what fits of the surface's picture into bitmap, over the background, and
// selects bitmap into the memory DC in place of the old one. True when it is in.
bool swapInBitmap(const WindowRecord& record, HBITMAP bitmap, int width, int height) {
    SurfaceState& surface = *record.surface;
    MemoryDc copyDc([&] {
        MemoryDcHold dcHold;
        return CreateCompatibleDC(surface.memoryDc);
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
        FillRect(copyDc, &whole, record.backgroundBrush);
    }
    MemoryDcHold dcHold;
    BitBlt(copyDc, 0, 0, std::min(width, surface.width), std::min(height, surface.height), surface.memoryDc, 0, 0,
           SRCCOPY);
    // Out of the copy DC first: a bitmap is selected into one DC at a time.
    return selection.restore() && SelectObject(surface.memoryDc, bitmap) != nullptr;
}

// Restored after being minimised (the frame cannot be resized otherwise): a backing
// bitmap of the new client size, keeping what fits of the old content.
void onFrameSize(CanvasThread* canvas, WPARAM wParam, LPARAM lParam) {
    if (wParam == SIZE_MINIMIZED || canvas == nullptr || canvas->surfaceRecord == nullptr) {
        return;
    }
    const int width = LOWORD(lParam);
    const int height = HIWORD(lParam);
    if (width <= 0 || height <= 0) {
        return;
    }
    GraphicsHold hold(LockWait::ServeSentMessages);
    // The wait for the lock serves sent messages, among them a close that destroys the
    // surface and clears the record: look again now that the lock is held.
    if (canvas->surfaceRecord == nullptr || canvas->surfaceRecord->surface == nullptr) {
        return;
    }
    WindowRecord& record = *canvas->surfaceRecord;
    SurfaceState& surface = *record.surface;
    // Until the swap succeeds the old bitmap stays the surface's and this one is deleted.
    GdiObject<HBITMAP> bitmap(compatibleBitmap(record.window, width, height));
    if (!bitmap || !swapInBitmap(record, bitmap.get(), width, height)) {
        return;
    }
    surface.backingBitmap.reset(bitmap.release());
    surface.width = width;
    surface.height = height;
    SetWindowPos(record.window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
    setFlags(record, RECORD_REFRESH_REQUESTED);
    markDrawn(record, RECT{0, 0, width, height});
}

void recordClick(CanvasThread* canvas, bool doubleClick) {
    if (canvas == nullptr || canvas->surfaceRecord == nullptr) {
        return;
    }
    SurfaceState& surface = *canvas->surfaceRecord->surface;
    POINT pointer;
    if (GetCursorPos(&pointer) && ScreenToClient(canvas->surface, &pointer)) {
        surface.clickPosition = pointer;
    }
    (doubleClick ? surface.doubleClicked : surface.clicked) = true;
}

LRESULT routeFrameMessage(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    CanvasThread* canvas = canvasOf(frame);
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* block = static_cast<CanvasThread*>(create->lpCreateParams);
        SetWindowLongPtrW(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(block));
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
        SetWindowLongPtrW(frame, GWLP_USERDATA, 0);
        break;
    case WM_COMMAND:
        if (canvas != nullptr && reinterpret_cast<HWND>(lParam) == canvas->surface &&
            (HIWORD(wParam) == STN_CLICKED || HIWORD(wParam) == STN_DBLCLK)) {
            recordClick(canvas, HIWORD(wParam) == STN_DBLCLK);
        }
        break;
    case WM_SIZE:
        onFrameSize(canvas, wParam, lParam);
        break;
    default:
        if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK && canvas != nullptr && canvas->surface != nullptr &&
            IsWindow(canvas->surface)) {
            auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(canvas->surface, GWLP_WNDPROC));
            if (procedure != nullptr && CallWindowProcW(procedure, canvas->surface, message, wParam, lParam) != 0) {
                return 0;
            }
        }
        break;
    }
    return DefWindowProcW(frame, message, wParam, lParam);
}

constexpr UINT BRING_FORWARD = WM_USER + 0x1000;  // private: foreground and focus to the surface
static_assert(BRING_FORWARD == 0x1400);

LRESULT CALLBACK frameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    return callGuarded([&] { return routeFrameMessage(frame, message, wParam, lParam); },
                       [&] { return DefWindowProcW(frame, message, wParam, lParam); });
}

LRESULT routeSurfaceMessage(HWND surface, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = findRecord(surface);
    if (record == nullptr || record->surface == nullptr) {
        return DefWindowProcW(surface, message, wParam, lParam);
    }
    SurfaceState& state = *record->surface;
    switch (message) {
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        const bool numLockOn = (GetKeyState(VK_NUMLOCK) & 1) != 0;
        const bool shiftDown = GetKeyState(VK_SHIFT) < 0;
        const LONG key = keyToCapture(message, wParam, lParam, numLockOn, shiftDown);
        if (key != 0) {
            state.lastKey = key;
            return 0;
        }
        break;
    }
    case WM_LBUTTONDOWN:
        SetFocus(surface);
        state.clicked = true;
        state.clickPosition = POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        return 0;
    case WM_LBUTTONDBLCLK:
        state.doubleClicked = true;
        return 0;
    case WM_SETFOCUS:
        setFlags(*record, RECORD_HAS_FOCUS);
        break;
    case WM_KILLFOCUS:
        clearFlags(*record, RECORD_HAS_FOCUS);
        break;
    case BRING_FORWARD:
        SetForegroundWindow(GetParent(surface));
        SetFocus(surface);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the bitmap covers every pixel; erasing would only flicker
    default:
        break;
    }
    if (state.previousProc != nullptr) {
        return CallWindowProcW(state.previousProc, surface, message, wParam, lParam);
    }
    return DefWindowProcW(surface, message, wParam, lParam);
}

LRESULT CALLBACK surfaceProc(HWND surface, UINT message, WPARAM wParam, LPARAM lParam) {
    return callGuarded([&] { return routeSurfaceMessage(surface, message, wParam, lParam); },
                       [&] { return DefWindowProcW(surface, message, wParam, lParam); });
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

// ---- operations ---------------------------------------------------------------------------

void selectCanvas(HWND parent, int canvas, bool deferredRedraw) {
    ThreadRecord& thread = threadRecord();
    thread.currentCanvas = nullptr;
    HWND target = nullptr;
    if (parent != nullptr) {
        HWND control = GetDlgItem(parent, canvas);
        target = control != nullptr ? control : parent;
    }
    // Held so the canvas thread cannot release the record while its flag changes.
    GraphicsHold hold;
    WindowRecord* record = surfaceRecord(target);
    if (record == nullptr) {
        reportError(ERR_BAD_ARGUMENT);
        return;
    }
    if (deferredRedraw) {
        setFlags(*record, RECORD_DEFERRED_REDRAW);
    } else {
        clearFlags(*record, RECORD_DEFERRED_REDRAW);
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
    HANDLE thread = CreateThread(nullptr, 0, canvasThreadMain, canvas.get(), 0, nullptr);
    if (thread == nullptr) {
        return nullptr;
    }
    static_cast<void>(canvas.release());  // canvasThreadMain owns the block now
    CloseHandle(thread);
    // The handle comes back only after the window, the bitmap and the font are ready.
    while (result == -1) {
        Sleep(0);  // yields only: the canvas thread needs the processor to get there
    }
    HWND frame = reinterpret_cast<HWND>(result.load());
    if (frame != nullptr && threadRecord().currentCanvas == nullptr) {
        selectCanvas(frame, 0, false);
    }
    // The new window's first paint and activation happen on its own thread: a pause
    // lets them finish before the caller draws or waits for a key.
    Sleep(50);
    return frame;
}

void printText(std::string_view text) {
    GraphicsHold hold;
    WindowRecord* record = currentSurface();
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
        ExtTextOutW(surface.memoryDc, 0, 0, ETO_CLIPPED, &clip, wide.data(), static_cast<UINT>(wide.size()), nullptr);
        POINT position;
        if (GetCurrentPositionEx(surface.memoryDc, &position)) {
            surface.x = position.x;
            surface.y = position.y;
        }
    }
    markDrawn(*record, RECT{oldX, surface.y, surface.x, surface.y + surface.lineHeight});
}

void newLine() {
    GraphicsHold hold;
    WindowRecord* record = currentSurface();
    if (record == nullptr) {
        return;
    }
    SurfaceState& surface = *record->surface;
    surface.x = surface.originX;
    surface.y += surface.lineHeight;
    MemoryDcHold dcHold;
    MoveToEx(surface.memoryDc, surface.x, surface.y, nullptr);
}

void setColumn(int column) {
    GraphicsHold hold;
    WindowRecord* record = currentSurface();
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
    MoveToEx(surface.memoryDc, surface.x, surface.y, nullptr);
}

std::wstring waitForKey(DWORD limit, std::wstring_view allowed, AfterWait after) {
    GraphicsHold hold;
    WindowRecord* record = currentSurface();
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
        record = surfaceRecord(wait.surface);
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
        record = surfaceRecord(wait.surface);
        if (record == nullptr) {
            finish(wait, std::wstring());
            break;
        }
        if (takeKey(wait, *record)) {
            break;
        }
        serveOuterWaits(wait.outer);
    }
    closeAfterWait(wait);
    return wait.key;
}

void closeCanvasWindow(HWND canvas) {
    GraphicsHold hold;
    ThreadRecord& thread = threadRecord();
    HWND target = canvas;
    if (canvas == nullptr) {
        target = thread.currentCanvas;
    } else if (HWND surface = GetDlgItem(canvas, 0); surface != nullptr) {
        target = surface;
    }
    WindowRecord* record = surfaceRecord(target);
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
    WindowRecord* record = findRecord(item.hwndItem);
    if (record == nullptr || record->kind != ControlKind::GraphicSurface || record->surface == nullptr ||
        record->surface->memoryDc == nullptr) {
        return;
    }
    const SurfaceState& surface = *record->surface;
    MemoryDcHold dcHold;
    BitBlt(item.hDC, 0, 0, surface.width, surface.height, surface.memoryDc, 0, 0, SRCCOPY);
}

bool copySurfaceBitmap(HWND surface, HDC target) {
    GraphicsHold hold;
    WindowRecord* record = surfaceRecord(surface);
    if (record == nullptr || target == nullptr) {
        return false;
    }
    const SurfaceState& state = *record->surface;
    MemoryDcHold dcHold;
    return BitBlt(target, 0, 0, state.width, state.height, state.memoryDc, 0, 0, SRCCOPY) != FALSE;
}

}  // namespace roi
