// MainDialog: the main routine, the window builder with its control table, the
// bankroll loading at start-up and the event handler behind the four buttons. The
// arithmetic lives in core/session, the file in storage/bankroll_file; this file
// only decides the order in which cells are read, values saved and cells written.
#include "ui/main_window.h"

#include <commctrl.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "app/runtime.h"
#include "app/system_call.h"
#include "core/history.h"
#include "core/number_text.h"
#include "core/picture_mask.h"
#include "core/session.h"
#include "storage/bankroll_file.h"
#include "storage/bankroll_history.h"
#include "storage/text_file.h"
#include "ui/dialog_engine.h"
#include "ui/help_screen.h"

namespace roi {
namespace {

// The caption carries the maker's web address far to the right of the title.
constexpr char CAPTION_TITLE[] = "Quillmarsh ROI CALCULATOR";
constexpr int CAPTION_GAP = 64;
constexpr char CAPTION_ADDRESS[] = "www.quillmarsh.example";

constexpr int DIALOG_X = 55;
constexpr int DIALOG_Y = 70;
constexpr int DIALOG_WIDTH = 413;
constexpr int DIALOG_HEIGHT = 200;
// No maximize box: the controls never move.
constexpr DWORD DIALOG_STYLE = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                               WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;
constexpr DWORD DIALOG_EX_STYLE = WS_EX_CONTROLPARENT;
static_assert(DIALOG_STYLE == 0x94CE00D4);
static_assert(DIALOG_EX_STYLE == 0x10000);

constexpr DWORD INPUT_CELL = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_CENTER;
// The same without WS_TABSTOP: output and bankroll cells are reached with the mouse.
constexpr DWORD OUTPUT_CELL = INPUT_CELL & ~WS_TABSTOP;
constexpr DWORD SUNKEN = WS_EX_CLIENTEDGE;
static_assert(INPUT_CELL == 0x50010081);
static_assert(OUTPUT_CELL == 0x50000081);
static_assert(SUNKEN == 0x200);
// Passed for the badges; the engine adds the image-control bits when it loads the bitmap. No static
// style is named for this bit, so it stays a number.
constexpr DWORD BADGE = 0x20;
constexpr DWORD KIND_DEFAULT = 0;

struct ControlSpec {
    int id;
    ControlKind kind;
    const char* text;
    int x;
    int y;
    int width;
    int height;
    DWORD style;
    DWORD extendedStyle;
};

// Creation order is the tab order of the tab stops, and the group boxes come last,
// after the controls they frame. Each cell comes straight after its label: a screen
// reader names an edit control after the static text just before it in creation
// order. Labels are no tab stops and overlap nothing, so this order changes neither
// the tab order nor the look.
constexpr ControlSpec MAIN_CONTROLS[] = {
    {ID_TOTAL_WON_LABEL, ControlKind::StaticLabel, "TOTAL AMOUNT WON", 30, 30, 80, 15, KIND_DEFAULT, 0},
    {ID_TOTAL_WON, ControlKind::EditBox, "", 42, 45, 46, 12, INPUT_CELL, SUNKEN},
    {ID_TOTAL_BET_LABEL, ControlKind::StaticLabel, "TOTAL AMOUNT BET", 120, 30, 80, 15, KIND_DEFAULT, 0},
    {ID_TOTAL_BET, ControlKind::EditBox, "", 132, 45, 46, 12, INPUT_CELL, SUNKEN},
    {ID_BETS_MADE_LABEL, ControlKind::StaticLabel, "NUMBER OF BETS MADE", 205, 30, 90, 15, KIND_DEFAULT, 0},
    {ID_BETS_MADE, ControlKind::EditBox, "", 225, 45, 40, 12, INPUT_CELL, SUNKEN},
    {ID_BETS_WON_LABEL, ControlKind::StaticLabel, "NUMBER OF BETS WON", 298, 30, 90, 15, KIND_DEFAULT, 0},
    {ID_BETS_WON, ControlKind::EditBox, "", 315, 45, 40, 12, INPUT_CELL, SUNKEN},
    {ID_CALCULATE, ControlKind::PushButton, "CALCULATE", 125, 85, 50, 30, KIND_DEFAULT, 0},
    {ID_HELP, ControlKind::PushButton, "?", 190, 95, 15, 15, KIND_DEFAULT, 0},
    {ID_CLEAR_ALL, ControlKind::PushButton, "CLEAR ALL", 220, 85, 50, 30, KIND_DEFAULT, 0},
    {ID_CLEAR_BANKROLLS, ControlKind::PushButton, "CLEAR BANKROLLS", 155, 183, 80, 15, KIND_DEFAULT, 0},
    {ID_ROI_LABEL, ControlKind::StaticLabel, "ROI", 105, 140, 35, 15, KIND_DEFAULT, 0},
    {ID_ROI, ControlKind::EditBox, "", 90, 155, 40, 12, OUTPUT_CELL, SUNKEN},
    {ID_WIN_LABEL_AND_BADGES, ControlKind::StaticLabel, "WIN%", 190, 140, 35, 15, KIND_DEFAULT, 0},
    {ID_WIN_PERCENT, ControlKind::EditBox, "", 178, 155, 40, 12, OUTPUT_CELL, SUNKEN},
    {ID_AVERAGE_MUTUEL_LABEL, ControlKind::StaticLabel, "AVERAGE MUTUEL", 254, 140, 70, 15, KIND_DEFAULT, 0},
    {ID_AVERAGE_MUTUEL, ControlKind::EditBox, "", 266, 155, 43, 12, OUTPUT_CELL, SUNKEN},
    {ID_WIN_LABEL_AND_BADGES, ControlKind::BitmapImage, "#456", 310, 4, 150, 30, BADGE, 0},
    {ID_WIN_LABEL_AND_BADGES, ControlKind::BitmapImage, "#123", 20, 2, 150, 30, BADGE, 0},
    {ID_BANKROLL_LABEL, ControlKind::StaticLabel, "STARTING BANKROLL ", 15, 80, 95, 15, KIND_DEFAULT, 0},
    {ID_STARTING_BANKROLL, ControlKind::EditBox, "", 17, 95, 70, 12, OUTPUT_CELL, SUNKEN},
    {ID_BANKROLL_LABEL, ControlKind::StaticLabel, "ENDING BANKROLL ", 307, 80, 90, 15, KIND_DEFAULT, 0},
    {ID_ENDING_BANKROLL, ControlKind::EditBox, "", 305, 95, 70, 12, OUTPUT_CELL, SUNKEN},
    {ID_INPUT_GROUP, ControlKind::GroupBox, "INPUT", 20, 15, 373, 55, KIND_DEFAULT, 0},
    {ID_OUTPUT_GROUP, ControlKind::GroupBox, "OUTPUT", 70, 125, 260, 55, KIND_DEFAULT, 0},
};
static_assert(std::size(MAIN_CONTROLS) == 26, "MainDialog has 26 controls");

// Alt+S puts the caret in STARTING BANKROLL, the one cell Tab skips, so the keyboard
// alone reaches it. The command carries the cell's id; no control sends that id with
// the accelerator's notification code 1.
constexpr ACCEL MAIN_ACCELERATORS[] = {{FALT | FVIRTKEY, 'S', ID_STARTING_BANKROLL}};

// The program's icon (resources/roicalc.rc), for Alt+Tab and the taskbar.
constexpr int PROGRAM_ICON = 1;

// The cell font: 10-point bold "MS Sans Serif", ANSI character set.
constexpr char CELL_FONT_FACE[] = "MS Sans Serif";
constexpr float CELL_FONT_POINTS = 10.0f;

// The nine cells, in the order the cell font is set on them.
constexpr int FONT_CELLS[] = {ID_TOTAL_WON,   ID_TOTAL_BET,      ID_BETS_MADE,         ID_BETS_WON,       ID_ROI,
                              ID_WIN_PERCENT, ID_AVERAGE_MUTUEL, ID_STARTING_BANKROLL, ID_ENDING_BANKROLL};

// The cells CLEAR ALL and CLEAR BANKROLLS blank, in order.
constexpr int BLANKED_CELLS[] = {ID_TOTAL_WON, ID_TOTAL_BET,   ID_BETS_MADE,     ID_BETS_WON,
                                 ID_ROI,       ID_WIN_PERCENT, ID_AVERAGE_MUTUEL};

// The creation notice, word for word, with its misspelt file name.
constexpr char CREATION_NOTICE[] = "bankoll.roi NOT FOUND - CREATING NEW BANKROLL FILE";
constexpr UINT CREATION_NOTICE_STYLE = MB_OK | MB_TASKMODAL | MB_SETFOREGROUND;

// A save that fails would otherwise lose the bankroll without a word.
constexpr char SAVE_FAILED_WARNING[] = "bankroll.roi COULD NOT BE SAVED - YOUR BANKROLL WAS NOT STORED";
constexpr UINT SAVE_FAILED_STYLE = MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND;
// A file that exists but could not be read: the cells do not show the user's bankroll.
constexpr char NOT_READ_WARNING[] = "bankroll.roi COULD NOT BE READ - YOUR BANKROLL WAS NOT LOADED";
// A second calculator on one folder: it shows the bankroll, but only the first one saves.
constexpr char IN_USE_WARNING[] = "bankroll.roi IS IN USE BY ANOTHER ROI CALCULATOR - YOUR BANKROLL WILL NOT BE SAVED";

// The history could not take a save's row: the bankroll is safe, the row waits.
constexpr char HISTORY_FAILED_WARNING[] = "bankroll-history.csv COULD NOT BE WRITTEN - YOUR BANKROLL WAS SAVED";
// What the system menu's history item says when it cannot show the file.
constexpr char HISTORY_MISSING_NOTICE[] = "THE BANKROLL HISTORY DOES NOT EXIST YET - IT WILL BE KEPT IN ";
constexpr char HISTORY_NO_VIEWER_NOTICE[] = "NO PROGRAM IS SET TO OPEN THE BANKROLL HISTORY - IT IS KEPT IN ";
constexpr UINT HISTORY_NOTICE_STYLE = MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_SETFOREGROUND;

// The history's item in MainDialog's system menu (Alt+Space): an id below the system's
// own commands (0xF000 and up) whose low four bits are clear, as the system uses those.
constexpr UINT HISTORY_MENU_ITEM = 0x0100;
constexpr wchar_t HISTORY_MENU_TEXT[] = L"Bankroll &history";
static_assert(HISTORY_MENU_ITEM < 0xF000 && (HISTORY_MENU_ITEM & 0xF) == 0);

// COMCTL32 classes the main routine asks for; the structure size is the 8 bytes of INITCOMMONCONTROLSEX.
constexpr DWORD MAIN_ROUTINE_CLASSES = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_INTERNET_CLASSES;
constexpr DWORD INIT_CONTROLS_SIZE = 8;
static_assert(MAIN_ROUTINE_CLASSES == 0x9FF);
using InitCommonControlsExProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// The one MainDialog of the run, and the focus kept across a deactivation.
HWND theDialog = nullptr;
HWND savedFocus = nullptr;
// False when this run must never write bankroll.roi: start-up could not read the file
// (a save would put values the user never saw over the bankroll), or another calculator
// holds the folder's bankroll (each save would replace what the other saved).
bool bankrollOurs = true;
// Whether this run has told of a row the history could not take.
bool historyWarned = false;

std::string mainCaption() {
    std::string caption = CAPTION_TITLE;
    caption.append(CAPTION_GAP, ' ');
    caption += CAPTION_ADDRESS;
    return caption;
}

std::string cellText(int id) {
    return getControlText(controlHandle(theDialog, id));
}

void setCell(HWND dialog, int id, std::string_view text) {
    setControlText(controlHandle(dialog, id), text);
}

// Shows value through mask: the text is parsed afresh, so the cell shows what the
// stored text is worth, not an unrounded intermediate.
void showValue(HWND dialog, int id, std::string_view mask, const std::string& value) {
    const std::string text = formatWithMask(mask, parseNumber(value));
    setCell(dialog, id, text);
}

void blankCells() {
    for (const int id : BLANKED_CELLS) {
        setCell(theDialog, id, "");
    }
}

// How far a save got.
enum class SaveResult {
    Saved,           // bankroll.roi and the history's row (or the row waits, as already told)
    NotSaved,        // bankroll.roi keeps what it held, and the history has no row
    HistoryWaiting,  // bankroll.roi saved; the row waits for the history, untold so far
};

// Saves the row's pair as the bankroll and, when that worked, adds the row to the history.
SaveResult saveBankroll(const HistoryRow& row) {
    if (!bankrollOurs || !writeBankroll(row.starting, row.ending)) {
        return SaveResult::NotSaved;
    }
    if (appendHistory(row) || historyWarned) {
        return SaveResult::Saved;
    }
    historyWarned = true;  // the first failure of a run is told; the rest would only repeat it
    return SaveResult::HistoryWaiting;
}

void warnAbout(SaveResult result) {
    if (result == SaveResult::NotSaved) {
        messageBox(SAVE_FAILED_WARNING, DEFAULT_TITLE, SAVE_FAILED_STYLE);
    } else if (result == SaveResult::HistoryWaiting) {
        messageBox(HISTORY_FAILED_WARNING, DEFAULT_TITLE, SAVE_FAILED_STYLE);
    }
}

void calculate() {
    SessionValues& s = session();
    // 1. The five cells, in this order.
    const std::string won = cellText(ID_TOTAL_WON);
    const std::string bet = cellText(ID_TOTAL_BET);
    const std::string made = cellText(ID_BETS_MADE);
    const std::string wins = cellText(ID_BETS_WON);
    const std::string start = cellText(ID_STARTING_BANKROLL);
    acceptInputs(s, InputCells{won, bet, made, wins, start});
    // 2. Running net, then the ending bankroll.
    advanceBankroll(s);
    // 3. Both bankroll values, before the save.
    showValue(theDialog, ID_STARTING_BANKROLL, BANKROLL_MASK, s.startingBankrollText);
    showValue(theDialog, ID_ENDING_BANKROLL, BANKROLL_MASK, s.endingBankrollText);
    // 4. Save.
    const SaveResult saved = saveBankroll(calculateRow(s, bankrollToSave(s)));
    // 5. The file is the truth: what it holds now replaces the two values. The cells
    //    keep what step 3 put there.
    BankrollTexts readBack = readBankroll();
    adoptBankroll(s, std::move(readBack.starting), std::move(readBack.ending));
    // 6. The three results.
    computeResults(s);
    showValue(theDialog, ID_ROI, ROI_MASK, s.roiText);
    showValue(theDialog, ID_WIN_PERCENT, WIN_PERCENT_MASK, s.winPercentText);
    showValue(theDialog, ID_AVERAGE_MUTUEL, AVERAGE_MUTUEL_MASK, s.averageMutuelText);
    warnAbout(saved);
}

void clearAll() {
    blankCells();
    clearInputs(session());
}

void clearBankrollsCommand() {
    SessionValues& s = session();
    blankCells();
    clearBankrolls(s);
    const SaveResult saved = saveBankroll(pairRow(HistoryAction::ClearBankrolls, {"0", "0"}));  // no read-back
    // Plain text without a mask: both cells show "0" until the next CALCULATE.
    setCell(theDialog, ID_STARTING_BANKROLL, s.startingBankrollText);
    setCell(theDialog, ID_ENDING_BANKROLL, s.endingBankrollText);
    warnAbout(saved);
}

// The history's item after a separator at the foot of the system menu. The dialog's
// own copy of the menu is changed, so the window keeps its layout.
void addHistoryMenuItem(HWND dialog) {
    HMENU menu = ROI_SYSTEM(GetSystemMenu(dialog, FALSE));
    if (menu != nullptr) {
        ROI_SYSTEM(AppendMenuW(menu, MF_SEPARATOR, 0, nullptr));
        ROI_SYSTEM(AppendMenuW(menu, MF_STRING, HISTORY_MENU_ITEM, HISTORY_MENU_TEXT));
    }
}

using ShellExecuteProc = HINSTANCE(WINAPI*)(HWND, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, int);

// Opens path with the program the system associates with its kind of file; false when
// none did. SHELL32 is loaded for this alone, so that no start pays for it.
bool openWithItsProgram(HWND owner, const std::wstring& path) {
    HMODULE shell = ROI_SYSTEM(LoadLibraryW(L"SHELL32.DLL"));
    if (shell == nullptr) {
        return false;
    }
    bool opened = false;
    if (const FARPROC found = ROI_SYSTEM(GetProcAddress(shell, "ShellExecuteW"))) {
        const auto shellExecute = reinterpret_cast<ShellExecuteProc>(reinterpret_cast<void (*)()>(found));
        // Values above 32 mean success; the rest are error numbers.
        opened = reinterpret_cast<INT_PTR>(
                     ROI_SYSTEM(shellExecute(owner, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL))) > 32;
    }
    ROI_SYSTEM(FreeLibrary(shell));
    return opened;
}

// name as a full path against the current directory, or name itself when that fails.
std::wstring fullPathOf(const std::string& name) {
    const std::wstring wide = toWide(name);
    std::wstring full(MAX_PATH, L'\0');
    const DWORD length =
        ROI_SYSTEM(GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (length == 0 || length >= full.size()) {
        return wide;
    }
    full.resize(length);
    return full;
}

// The system menu's "Bankroll history": the file in the program that opens .csv files,
// or a box saying where the file is (or will be).
void openHistory(HWND dialog) {
    const std::string name = historyFileName();
    const std::wstring path = fullPathOf(name);
    std::uint32_t why = 0;
    const bool present = fileAttributes(name, &why) != 0;
    if (present && openWithItsProgram(dialog, path)) {
        return;
    }
    const std::string where = toNarrow(path);
    messageBox((present ? HISTORY_NO_VIEWER_NOTICE : HISTORY_MISSING_NOTICE) + where, DEFAULT_TITLE,
               HISTORY_NOTICE_STYLE);
}

// The dialog manager does not give the focus back to the control that had it when
// another window was activated in between, so the handler does.
void keepFocus(bool becomingActive) {
    if (!becomingActive) {
        savedFocus = ROI_SYSTEM(GetFocus());
    } else if (savedFocus != nullptr) {
        ROI_SYSTEM(SetFocus(savedFocus));
        savedFocus = nullptr;
    }
}

// The caret into STARTING BANKROLL, its text selected as Tab would leave it, so what
// is typed replaces the bankroll shown.
void focusStartingBankroll() {
    HWND cell = controlHandle(theDialog, ID_STARTING_BANKROLL);
    ROI_SYSTEM(SendMessageW(theDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(cell), TRUE));
}

void onCommand(int id, int notification) {
    // 0 from a button or a menu, 1 from an accelerator; cells' own notifications
    // (EN_CHANGE and the like) never run a command.
    if (notification != 0 && notification != 1) {
        return;
    }
    switch (id) {
    case ID_CALCULATE:
        calculate();
        break;
    case ID_CLEAR_ALL:
        clearAll();
        break;
    case ID_CLEAR_BANKROLLS:
        clearBankrollsCommand();
        break;
    case ID_HELP:
        showHelpScreen(theDialog);  // returns once the help screen is dismissed
        break;
    case ID_STARTING_BANKROLL:
        if (notification == 1) {  // Alt+S
            focusStartingBankroll();
        }
        break;
    default:  // IDOK and IDCANCEL (Enter, Escape) included: nothing happens
        break;
    }
}

void initCommonControls() {
    HMODULE library = ROI_SYSTEM(LoadLibraryA("COMCTL32.DLL"));
    if (library == nullptr) {
        return;  // start-up has initialised them once already
    }
    const FARPROC found = ROI_SYSTEM(GetProcAddress(library, "InitCommonControlsEx"));
    if (found != nullptr) {
        // Through void (*)() so the cast between function types stays explicit.
        const auto initEx = reinterpret_cast<InitCommonControlsExProc>(reinterpret_cast<void (*)()>(found));
        INITCOMMONCONTROLSEX init{};
        init.dwSize = INIT_CONTROLS_SIZE;
        init.dwICC = MAIN_ROUTINE_CLASSES;
        ROI_SYSTEM(initEx(&init));
    } else {
        ROI_SYSTEM(InitCommonControls());
    }
    ROI_SYSTEM(FreeLibrary(library));
}

}  // namespace

void loadBankroll(HWND dialog) {
    SessionValues& s = session();
    s.bankrollFileName = BANKROLL_FILE_NAME;
    // Claimed before anything is read; a copy that finds it claimed writes nothing.
    const bool inUse = claimBankroll() == Claim::InUse;
    bankrollOurs = !inUse;
    // Anything whose attributes can be read counts as present, a directory included.
    // Only a name the system does not find is missing: a file it could not examine
    // (access denied, a network folder gone) may hold the user's bankroll.
    std::uint32_t why = 0;
    const auto attributes = static_cast<std::uint16_t>(fileAttributes(s.bankrollFileName, &why) & 0xFFFFu);
    const bool missing = attributes == 0 && (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND);
    SaveResult saved = SaveResult::Saved;
    if (missing && !inUse) {  // creating it is writing it: the claim's holder does that
        // Shown while MainDialog is still hidden; the empty title gives the default one.
        messageBox(CREATION_NOTICE, "", CREATION_NOTICE_STYLE);
        saved = saveBankroll(pairRow(HistoryAction::NewFile, {"0", "0"}));
    }
    bool readable = true;
    BankrollTexts read = readBankroll(readable);
    adoptBankroll(s, std::move(read.starting), std::move(read.ending));
    showValue(dialog, ID_STARTING_BANKROLL, BANKROLL_MASK, s.startingBankrollText);
    showValue(dialog, ID_ENDING_BANKROLL, BANKROLL_MASK, s.endingBankrollText);
    if (saved != SaveResult::NotSaved && (!readable || (attributes == 0 && !missing))) {
        bankrollOurs = false;
        messageBox(NOT_READ_WARNING, DEFAULT_TITLE, SAVE_FAILED_STYLE);
    } else {
        warnAbout(saved);
    }
    if (inUse) {
        messageBox(IN_USE_WARNING, DEFAULT_TITLE, SAVE_FAILED_STYLE);
    }
}

INT_PTR mainDialogHandler(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    ErrorSlot slot;
    switch (message) {
    case WM_NCACTIVATE:
        keepFocus(wParam != 0);
        break;
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == HISTORY_MENU_ITEM) {
            openHistory(dialog);
        }
        break;
    default:  // WM_INITDIALOG and everything else: the engine's default alone
        break;
    }
    return 0;  // never "handled": the engine's default follows every message
}

MainWindow buildMainWindow(HWND parent) {
    MainWindow window;
    window.dialog = createDialog(UnitMode::DialogUnits, parent, mainCaption(), DIALOG_X, DIALOG_Y, DIALOG_WIDTH,
                                 DIALOG_HEIGHT, DIALOG_STYLE, DIALOG_EX_STYLE);
    theDialog = window.dialog;
    savedFocus = nullptr;
    historyWarned = false;
    forgetWaitingHistory();  // rows of an earlier window (in tests) belong to its folder
    if (window.dialog == nullptr) {
        return window;  // no window to show a bankroll in: the file is left alone
    }
    for (const ControlSpec& c : MAIN_CONTROLS) {
        addControl(window.dialog, c.id, c.kind, c.text, c.x, c.y, c.width, c.height, c.style, c.extendedStyle);
    }
    setAccelerators(window.dialog, MAIN_ACCELERATORS, static_cast<int>(std::size(MAIN_ACCELERATORS)));
    setDialogIcon(window.dialog, PROGRAM_ICON);
    addHistoryMenuItem(window.dialog);
    window.cellFont = createFont(CELL_FONT_FACE, CELL_FONT_POINTS, FONT_BOLD, ANSI_CHARSET, 0, 0);
    for (const int id : FONT_CELLS) {
        setControlFont(window.dialog, id, window.cellFont);
    }
    loadBankroll(window.dialog);
    return window;
}

INT_PTR runMainWindow(HWND parent, bool* created) {
    ErrorSlot slot;
    const MainWindow window = buildMainWindow(parent);
    if (created != nullptr) {
        *created = window.dialog != nullptr;
    }
    INT_PTR result = 0;
    if (window.dialog != nullptr) {
        runModal(window.dialog, mainDialogHandler, &result);
        releaseFont(window.cellFont);
        appendWaitingHistory();  // the last chance for rows a viewer held back
        releaseClaim();          // nothing is saved any more; the next calculator may have the folder
    }
    return result;
}

int mainRoutine(HINSTANCE, HINSTANCE, const wchar_t*, int) {
    ErrorSlot slot;
    initCommonControls();
    bool created = false;
    runMainWindow(nullptr, &created);
    return created ? 0 : NO_MAIN_WINDOW_EXIT_CODE;  // 0 whatever the modal run gave
}

}  // namespace roi
