// MainDialog: the calculator's window, its event handler and the bankroll loading.
#pragma once

#include <windows.h>

namespace roi {

// Control ids of MainDialog, every one. Two are shared: the WIN% label and both badges
// have 1016, both bankroll labels 1022; nothing addresses a control by those.
enum : int {
    ID_TOTAL_WON = 1001,
    ID_TOTAL_BET = 1002,
    ID_BETS_MADE = 1003,
    ID_BETS_WON = 1004,
    ID_TOTAL_WON_LABEL = 1005,
    ID_TOTAL_BET_LABEL = 1006,
    ID_BETS_MADE_LABEL = 1007,
    ID_BETS_WON_LABEL = 1008,
    ID_CALCULATE = 1009,
    ID_CLEAR_ALL = 1010,
    ID_ROI = 1011,
    ID_ROI_LABEL = 1014,
    ID_WIN_PERCENT = 1015,
    ID_WIN_LABEL_AND_BADGES = 1016,
    ID_AVERAGE_MUTUEL_LABEL = 1017,
    ID_AVERAGE_MUTUEL = 1018,
    ID_INPUT_GROUP = 1019,
    ID_OUTPUT_GROUP = 1020,
    ID_HELP = 1021,
    ID_BANKROLL_LABEL = 1022,
    ID_STARTING_BANKROLL = 1024,
    ID_ENDING_BANKROLL = 1025,
    ID_CLEAR_BANKROLLS = 1026,
};
// The exit code when MainDialog could not be created. Not 0, which says the program
// ran, and not 255, the start-up refusal and a fatal runtime error: 1, the usual
// "failed" code, so whoever started the program can tell the three apart.
inline constexpr int NO_MAIN_WINDOW_EXIT_CODE = 1;

// The program's main routine (its four arguments are ignored); returns 0, or
// NO_MAIN_WINDOW_EXIT_CODE when MainDialog could not be created.
int mainRoutine(HINSTANCE module, HINSTANCE unused, const wchar_t* commandTail, int showState);

// Ensures bankroll.roi exists, loads it into the session and the two bankroll cells.
void loadBankroll(HWND dialog);

// MainDialog's event handler; always 0, so the engine's default follows.
INT_PTR mainDialogHandler(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// MainDialog as the window builder has it just before the modal run: hidden, with
// its 26 controls, the cell font on the nine cells and the bankroll loaded.
// A dialog that could not be created leaves everything else undone, the bankroll file included.
struct MainWindow {
    HWND dialog = nullptr;  // 0 when the dialog could not be created
    int cellFont = 0;       // font number of the cell font
};

// The window builder's steps up to the modal run. The handle becomes the one the
// event handler works on. Split from runMainWindow so tests can drive a hidden window.
MainWindow buildMainWindow(HWND parent);

// The window builder: buildMainWindow, the modal run with mainDialogHandler, then the
// cell font is released. Returns the modal run's result; *created (when given) says
// whether the dialog could be created at all (without it nothing runs).
INT_PTR runMainWindow(HWND parent, bool* created = nullptr);

}  // namespace roi
