// The help screen: opens a canvas window over the main window, prints the fixed text
// from row 2, column 5, and waits for a key or the close box.
//
// The wait pumps the main thread's messages, so the "?" button can open another help
// screen while this one waits. Each showing waits for and closes its own window: the
// inner wait also answers keys typed into the outer windows and closes them at once,
// and an outer window the user closed meanwhile simply ends its wait when control
// returns to it.
#include "ui/help_screen.h"

#include <cstdint>
#include <string>

#include "app/runtime.h"
#include "app/system_call.h"
#include "ui/canvas_window.h"
#include "ui/dialog_engine.h"

namespace roi {

namespace {

// The frame of the most recent showing; only handed to the next showing's first step.
HWND helpWindow = nullptr;

// selectCanvas takes a control id; a window handle fits in one (handles are 32-bit
// values on 64-bit Windows too).
int handleAsId(HWND window) {
    return static_cast<int>(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window)));
}

// Print operations address the thread's current canvas. A message sent to this thread
// while a print waits for the canvas thread can run another help command, which
// leaves its own (closed) window current; this showing takes its window back.
void keepOwnCanvas(HWND frame, HWND surface) {
    if (surface != nullptr && threadRecord().currentCanvas != surface) {
        selectCanvas(frame, 0, false);
    }
}

// The page as text, a line for each row from row 2 to the last printed one: what a
// screen reader reads out. The surface shows only its bitmap; this is its window text.
std::string helpPageText() {
    std::string text;
    int row = HELP_LINES.front().row;
    for (const HelpLine& line : HELP_LINES) {
        for (; row < line.row; ++row) {
            text += "\r\n";
        }
        text += line.text;
    }
    return text;
}

}  // namespace

void showHelpScreen(HWND dialog) {
    // 1. Always fails: neither 0 nor an earlier help frame is a canvas of dialog. It
    //    leaves no current canvas, so the new window below becomes current.
    selectCanvas(dialog, handleAsId(helpWindow), true);
    // 2. The window.
    HWND frame =
        createCanvasWindow(HELP_CAPTION, HELP_X, HELP_Y, HELP_COLUMNS, HELP_ROWS, CANVAS_CELLS | CANVAS_SHOW, 0, 0);
    helpWindow = frame;
    if (frame == nullptr) {
        return;
    }
    HWND surface = ROI_SYSTEM(GetDlgItem(frame, 0));
    // 3. Row 2.
    newLine();
    // 4. Each line at column 5, then down to the next line's row.
    for (std::size_t i = 0; i < HELP_LINES.size(); ++i) {
        keepOwnCanvas(frame, surface);
        setColumn(HELP_TEXT_COLUMN);
        printText(HELP_LINES[i].text);
        const int rowsDown = i + 1 < HELP_LINES.size() ? HELP_LINES[i + 1].row - HELP_LINES[i].row : 1;
        for (int row = 0; row < rowsDown; ++row) {
            newLine();
        }
    }
    // The whole text as the surface's window text, for WM_GETTEXT and screen readers.
    // An owner-drawn static paints nothing of its text: the text changes, the picture
    // does not.
    setControlText(surface, helpPageText());
    // 5. Any key, no time limit; the key itself does not matter.
    keepOwnCanvas(frame, surface);
    waitForKey(0, std::wstring_view(), AfterWait::CloseWindow);
    // 6. This showing's own window, should it still be open; a closed one is left alone.
    closeCanvasWindow(frame);
}

}  // namespace roi
