// The dialog engine: dialogs built from parameters as in-memory templates, controls
// added one by one, numbered fonts on controls, text converted at the Win32 boundary,
// the polling modal loop, the one-message pump and message boxes. The template itself
// is built in dialog_template.cpp; the bookkeeping (records, brushes) lives in
// window_records.cpp, the fonts in font_table.cpp; a canvas surface is painted and
// given fonts through the hooks its maker hands over (SurfaceHooks).
#include "ui/dialog_engine.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/code_page.h"
#include "app/runtime.h"
#include "app/system_call.h"
#include "core/ascii_case.h"
#include "ui/procedure_guard.h"
#include "ui/dialog_template.h"
#include "ui/window_records.h"

namespace roi {

namespace {

// Engine dialogs between WM_INITDIALOG and WM_DESTROY.
std::atomic<int> openDialogs{0};

// What setSurfaceHooks handed over; the canvas may do so from any thread.
std::atomic<void (*)(const DRAWITEMSTRUCT&)> paintSurfaceHook{nullptr};
std::atomic<bool (*)(HWND, HFONT)> selectSurfaceFontHook{nullptr};

// ---- control kinds --------------------------------------------------------------------

struct KindRule {
    ControlKind kind;
    const wchar_t* className;
    DWORD defaultStyle;
    DWORD alwaysAdded;
    DWORD alwaysRemoved;
    bool defaultDropsBorder;  // default style: WS_BORDER becomes WS_EX_CLIENTEDGE
};

constexpr DWORD SHOWN_CHILD = WS_CHILD | WS_VISIBLE;
constexpr DWORD PUSH_BUTTON_STYLE = SHOWN_CHILD | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD GROUP_BOX_STYLE = SHOWN_CHILD | BS_GROUPBOX;
// A group box keeps only its placement, text-alignment and disabled bits.
constexpr DWORD GROUP_BOX_REMOVED = ~(GROUP_BOX_STYLE | WS_DISABLED | BS_MULTILINE | BS_CENTER | BS_VCENTER);
constexpr DWORD STATIC_LABEL_STYLE = SHOWN_CHILD | SS_LEFT;
constexpr DWORD EDIT_BOX_STYLE = SHOWN_CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD BITMAP_IMAGE_STYLE = SHOWN_CHILD | SS_BITMAP;
static_assert(SHOWN_CHILD == 0x50000000);
static_assert(PUSH_BUTTON_STYLE == 0x50010000);
static_assert(GROUP_BOX_STYLE == 0x50000007 && GROUP_BOX_REMOVED == 0xA7FFD0F8);
static_assert(STATIC_LABEL_STYLE == 0x50000000);
static_assert(EDIT_BOX_STYLE == 0x50810080);
static_assert(BITMAP_IMAGE_STYLE == 0x5000000E);

constexpr KindRule KIND_RULES[] = {
    {ControlKind::PushButton, L"BUTTON", PUSH_BUTTON_STYLE, SHOWN_CHILD, 0, false},
    {ControlKind::GroupBox, L"BUTTON", GROUP_BOX_STYLE, GROUP_BOX_STYLE, GROUP_BOX_REMOVED, false},
    {ControlKind::StaticLabel, L"STATIC", STATIC_LABEL_STYLE, SHOWN_CHILD, 0, false},
    {ControlKind::EditBox, L"EDIT", EDIT_BOX_STYLE, SHOWN_CHILD, 0, true},
    {ControlKind::BitmapImage, L"STATIC", BITMAP_IMAGE_STYLE, BITMAP_IMAGE_STYLE, 0, false},
};

const KindRule* kindRule(ControlKind kind) {
    for (const KindRule& rule : KIND_RULES) {
        if (rule.kind == kind) {
            return &rule;
        }
    }
    return nullptr;
}

// Window class and final styles of a control; a null class for kinds addControl
// does not create.
struct ControlStyle {
    const wchar_t* className = nullptr;
    DWORD style = 0;
    DWORD extendedStyle = 0;
};

ControlStyle controlStyle(ControlKind kind, DWORD style, DWORD extendedStyle) {
    const KindRule* rule = kindRule(kind);
    if (rule == nullptr) {
        return ControlStyle{};
    }
    if (style == 0) {
        style = rule->defaultStyle;
        if (rule->defaultDropsBorder && (style & WS_BORDER) != 0) {
            style &= ~static_cast<DWORD>(WS_BORDER);
            extendedStyle |= WS_EX_CLIENTEDGE;
        }
    }
    style |= rule->alwaysAdded;
    style &= ~rule->alwaysRemoved;
    return ControlStyle{rule->className, style, extendedStyle};
}

// "#" followed by decimal digits only: the id it names, or -1.
long resourceId(std::wstring_view name) {
    if (name.size() < 2 || name[0] != L'#') {
        return -1;
    }
    long id = 0;
    for (wchar_t unit : name.substr(1)) {
        if (unit < L'0' || unit > L'9') {
            return -1;
        }
        id = id * 10 + (unit - L'0');
        if (id > 0xFFFF) {
            return -1;  // no resource id is that large
        }
    }
    return id;
}

struct ResourceSearch {
    std::wstring_view wanted;
    bool found = false;
};

BOOL CALLBACK onResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    return callGuarded(
        [&]() -> BOOL {
            ResourceSearch& search = *reinterpret_cast<ResourceSearch*>(param);
            if (resourceNameMatches(search.wanted, name)) {
                search.found = true;
                return FALSE;  // stop enumerating
            }
            return TRUE;
        },
        [] { return FALSE; });
}

bool hasBitmapResource(std::wstring_view name) {
    ResourceSearch search{name};
    // Fails (with ERROR_RESOURCE_TYPE_NOT_FOUND) when the module has no bitmaps at
    // all, and reports a stop by the callback as a failure too: only found counts.
    ROI_SYSTEM(EnumResourceNamesW(programInstance(), RT_BITMAP, onResourceName, reinterpret_cast<LONG_PTR>(&search)));
    return search.found;
}

// The name as LoadImageW takes it: an integer resource for "#123".
LPCWSTR imageName(const std::wstring& name) {
    const long id = resourceId(name);
    if (id >= 0) {
        return MAKEINTRESOURCEW(id);
    }
    return name.c_str();
}

// Loads the image of a BitmapImage control and hands it to the control; its record owns it.
void attachImage(HWND control, const std::wstring& name, bool isIcon) {
    const UINT type = isIcon ? IMAGE_ICON : IMAGE_BITMAP;
    HANDLE image = ROI_SYSTEM(LoadImageW(programInstance(), imageName(name), type, 0, 0, LR_LOADMAP3DCOLORS));
    if (image == nullptr) {
        return;  // the control stays empty
    }
    if (const LockedRecord record(control); record) {
        record->image = image;
    }
    HANDLE previous = reinterpret_cast<HANDLE>(
        ROI_SYSTEM(SendMessageA(control, STM_SETIMAGE, type, reinterpret_cast<LPARAM>(image))));
    if (previous != nullptr && previous != image) {
        freeImage(previous, isIcon);
    }
}

int clampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// ---- procedure: handlers ----------------------------------------------------------------

DialogHandler handlerOf(HWND window) {
    const LockedRecord record(window);
    return record ? record->handler : nullptr;
}

// The dialog's handler after the one of the control that sent the message, if any.
// Records are looked up again for each call: a handler may destroy the dialog.
INT_PTR controlThenDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control != nullptr) {
        DialogHandler controlHandler = handlerOf(control);
        if (controlHandler != nullptr) {
            const INT_PTR result = controlHandler(dialog, message, wParam, lParam);
            if (result != 0) {
                return result;
            }
        }
    }
    DialogHandler dialogHandler = handlerOf(dialog);
    return dialogHandler != nullptr ? dialogHandler(dialog, message, wParam, lParam) : 0;
}

INT_PTR onCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
    if (ROI_SYSTEM(GetDlgItem(dialog, LOWORD(wParam))) != nullptr) {
        return controlThenDialog(dialog, WM_COMMAND, wParam, lParam);
    }
    // No child has the id: menu items and toolbar buttons, which would have handlers
    // of their own, do not exist here; the dialog's handler decides (IDOK, IDCANCEL).
    DialogHandler dialogHandler = handlerOf(dialog);
    return dialogHandler != nullptr ? dialogHandler(dialog, WM_COMMAND, wParam, lParam) : 0;
}

INT_PTR callHandlers(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        return onCommand(dialog, wParam, lParam);
    case WM_HSCROLL:
    case WM_VSCROLL:
        return controlThenDialog(dialog, message, wParam, lParam);
    default: {
        DialogHandler dialogHandler = handlerOf(dialog);
        return dialogHandler != nullptr ? dialogHandler(dialog, message, wParam, lParam) : 0;
    }
    }
}

INT_PTR onHandled(HWND dialog, INT_PTR result) {
    // A handler that set its own message result keeps it.
    if (ROI_SYSTEM(GetWindowLongPtrW(dialog, DWLP_MSGRESULT)) == 0) {
        ROI_SYSTEM(SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result));
    }
    return result;
}

// ---- procedure: defaults ------------------------------------------------------------------

INT_PTR onInitDialog() {
    ++openDialogs;
    // The record does not exist yet; runModal gives the handler its own WM_INITDIALOG.
    return FALSE;
}

INT_PTR onActivate(HWND dialog, WPARAM wParam) {
    const WORD state = LOWORD(wParam);
    if (state == WA_ACTIVE || state == WA_CLICKACTIVE) {
        setActiveDialog(dialog);
    } else if (state == WA_INACTIVE) {
        setActiveDialog(nullptr);
    }
    return 0;
}

INT_PTR onNcDestroy(HWND dialog) {
    // The handle may be reused by a later window; pumpMessage must not steer that one.
    if (activeDialog() == dialog) {
        setActiveDialog(nullptr);
    }
    releaseRecord(dialog);
    return TRUE;
}

bool isSurface(HWND window) {
    const LockedRecord record(window);
    return record && record->kind == ControlKind::GraphicSurface;
}

INT_PTR onDrawItem(LPARAM lParam) {
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item == nullptr || !isSurface(item->hwndItem)) {
        return FALSE;
    }
    if (const auto paint = paintSurfaceHook.load()) {
        paint(*item);  // from the surface's picture, as its own frame paints it
    }
    return TRUE;
}

constexpr int TEXT_SYSTEM_COLOURS[] = {COLOR_MENUTEXT,   COLOR_WINDOWTEXT, COLOR_WINDOWTEXT, COLOR_BTNTEXT,
                                       COLOR_WINDOWTEXT, COLOR_WINDOWTEXT, COLOR_WINDOWTEXT};
constexpr int BACKGROUND_SYSTEM_COLOURS[] = {COLOR_MENU,    COLOR_WINDOW,    COLOR_WINDOW, COLOR_BTNFACE,
                                             COLOR_BTNFACE, COLOR_SCROLLBAR, COLOR_BTNFACE};

// A control's colours as its record has them.
struct ControlColours {
    int text = COLOUR_NOT_SET;
    int background = COLOUR_NOT_SET;
    HBRUSH brush = nullptr;
};

ControlColours coloursOf(HWND control) {
    const LockedRecord record(control);
    return record ? ControlColours{record->textColour, record->backgroundColour, record->backgroundBrush}
                  : ControlColours{};
}

// The record's brush for an RGB background, shared with other records of that colour.
HBRUSH backgroundBrushOf(HWND control, const ControlColours& colours) {
    if (colours.brush != nullptr) {
        return colours.brush;
    }
    HBRUSH brush = shareBrush(static_cast<COLORREF>(colours.background));
    if (const LockedRecord record(control); record) {
        record->backgroundBrush = brush;
    }
    return brush;
}

// WM_CTLCOLORMSGBOX to WM_CTLCOLORSTATIC for control with device context dc.
INT_PTR onControlColour(UINT message, HDC dc, HWND control) {
    const unsigned entry = message - WM_CTLCOLORMSGBOX;
    const ControlColours colours = coloursOf(control);
    if (colours.text == COLOUR_NOT_SET) {
        return FALSE;  // the system colours apply
    }
    const COLORREF text =
        colours.text >= 0 ? static_cast<COLORREF>(colours.text) : ROI_SYSTEM(GetSysColor(TEXT_SYSTEM_COLOURS[entry]));
    ROI_SYSTEM(SetTextColor(dc, text));
    if (colours.background >= 0) {
        ROI_SYSTEM(SetBkColor(dc, static_cast<COLORREF>(colours.background)));
        return reinterpret_cast<INT_PTR>(backgroundBrushOf(control, colours));
    }
    if (colours.background == COLOUR_SYSTEM) {
        const int index = BACKGROUND_SYSTEM_COLOURS[entry];
        ROI_SYSTEM(SetBkColor(dc, GetSysColor(index)));
        return reinterpret_cast<INT_PTR>(ROI_SYSTEM(GetSysColorBrush(index)));
    }
    ROI_SYSTEM(SetBkMode(dc, TRANSPARENT));
    return reinterpret_cast<INT_PTR>(ROI_SYSTEM(GetStockObject(NULL_BRUSH)));
}

INT_PTR onSysCommand(HWND dialog, WPARAM wParam) {
    if ((wParam & 0xFFF0) != SC_CLOSE) {
        return FALSE;
    }
    if (const LockedRecord record(dialog); record && record->closeLock) {
        return TRUE;  // the close box does nothing
    }
    endDialog(dialog, 0);
    return TRUE;
}

// WM_GETICON: the icons setDialogIcon gave the dialog, ICON_SMALL2 being the small one.
INT_PTR onGetIcon(HWND dialog, WPARAM type) {
    HICON icon = nullptr;
    if (const LockedRecord record(dialog); record) {
        icon = type == ICON_BIG ? record->bigIcon : record->smallIcon;
    }
    if (icon == nullptr) {
        return FALSE;  // the dialog manager's answer: none
    }
    ROI_SYSTEM(SetWindowLongPtrW(dialog, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(icon)));
    return TRUE;
}

INT_PTR defaultAction(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETICON:
        return onGetIcon(dialog, wParam);
    case WM_NCDESTROY:
        return onNcDestroy(dialog);
    case WM_DRAWITEM:
        return onDrawItem(lParam);
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return onControlColour(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SYSCOMMAND:
        return onSysCommand(dialog, wParam);
    default:
        // WM_SIZE included: there are no status bars or toolbars to pass it on to.
        return FALSE;
    }
}

// One message for the modal loop or the pump: true when dialog's accelerators or
// keyboard navigation took it.
bool dialogTakes(HWND dialog, MSG& message) {
    HACCEL accelerators = nullptr;
    if (const LockedRecord record(dialog); record) {
        accelerators = record->accelerators;
    }
    if (accelerators != nullptr && ROI_SYSTEM(TranslateAcceleratorW(dialog, accelerators, &message)) != 0) {
        return true;
    }
    return ROI_SYSTEM(IsDialogMessageW(dialog, &message)) != FALSE;
}

// ---- steps of createDialog, addControl and runModal -----------------------------------------

// Places a dialog made in pixels: the size given is its client size, and the position
// is worked out here (the template's coordinates are dialog units).
void placeInPixels(HWND dialog, HWND parent, DWORD style, int x, int y, int width, int height) {
    const bool centred = (style & DS_CENTER) != 0;
    RECT outer = {};
    RECT client = {};
    if (ROI_SYSTEM(GetWindowRect(dialog, &outer)) != FALSE && ROI_SYSTEM(GetClientRect(dialog, &client)) != FALSE) {
        const long long outerWidth = static_cast<long long>(width) + (outer.right - outer.left) - client.right;
        const long long outerHeight = static_cast<long long>(height) + (outer.bottom - outer.top) - client.bottom;
        long long left = x;
        long long top = y;
        if (centred) {
            RECT work = {};
            if (ROI_SYSTEM(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) != FALSE) {
                left = std::max<long long>(0, static_cast<long long>(work.left) + work.right - outerWidth) / 2;
                top = std::max<long long>(0, static_cast<long long>(work.top) + work.bottom - outerHeight) / 2;
            }
        } else if ((style & (WS_CHILD | DS_ABSALIGN)) == 0) {
            POINT origin = {0, 0};
            if (parent != nullptr && ROI_SYSTEM(ClientToScreen(parent, &origin)) != FALSE) {
                left += origin.x;
                top += origin.y;
            }
        } else if (!((style & WS_CHILD) != 0 && (style & DS_CONTROL) != 0)) {
            left = std::max<long long>(left, 0);
            top = std::max<long long>(top, 0);
        }
        ROI_SYSTEM(SetWindowPos(dialog, nullptr, clampToInt(left), clampToInt(top), clampToInt(outerWidth),
                                clampToInt(outerHeight), PLACE_QUIETLY));
    }
}

// A control's place in pixels. In dialog units the corners are converted, so rounding
// follows them.
struct ControlBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

ControlBox controlBox(HWND dialog, std::uint32_t unitBits, int x, int y, int width, int height) {
    RECT box = {x, y, clampToInt(static_cast<long long>(x) + width), clampToInt(static_cast<long long>(y) + height)};
    if ((unitBits & RECORD_DIALOG_UNITS) != 0) {
        RECT mapped = box;
        if (ROI_SYSTEM(MapDialogRect(dialog, &mapped)) != FALSE) {
            box = mapped;
        }
    }
    return ControlBox{box.left, box.top, clampToInt(static_cast<long long>(box.right) - box.left),
                      clampToInt(static_cast<long long>(box.bottom) - box.top)};
}

// Creates a control's window at box; every control starts with the dialog's font.
HWND createControlWindow(HWND dialog, int id, const ControlStyle& styles, const wchar_t* text, const ControlBox& box,
                         HFONT dialogFont) {
    HWND control = ROI_SYSTEM(CreateWindowExW(
        styles.extendedStyle, styles.className, text, styles.style, box.left, box.top, box.width, box.height, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), programInstance(), nullptr));
    if (control != nullptr) {
        ROI_SYSTEM(SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), TRUE));
    }
    return control;
}

// The handler's own start, called directly: WM_INITDIALOG, then WM_SIZE with the
// client size. Windows' messages meanwhile reach no handler, since it is not stored yet.
void startHandler(HWND dialog, DialogHandler handler) {
    int showCommand = SW_SHOW;
    if (const LockedRecord early(dialog); early) {
        showCommand = early->showCommand;
    }
    if (handler != nullptr) {
        handler(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(dialog), 0);
        RECT client = {};
        ROI_SYSTEM(GetClientRect(dialog, &client));
        const WPARAM sizeType = showCommand == SW_MAXIMIZE   ? SIZE_MAXIMIZED
                                : showCommand == SW_MINIMIZE ? SIZE_MINIMIZED
                                                             : SIZE_RESTORED;
        handler(dialog, WM_SIZE, sizeType, MAKELPARAM(client.right, client.bottom));
    }
}

// The modal loop: polling, never blocking in GetMessageW, until dialog is destroyed.
// Takes one message off the calling thread's queue and dispatches it, unless a dialog
// takes it with its accelerators or keyboard navigation: modalDialog, or without one the
// active dialog as it stands once the message is taken. False when the queue was empty.
bool dispatchOne(HWND modalDialog) {
    MSG message = {};
    if (ROI_SYSTEM(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) == FALSE) {
        return false;
    }
    HWND dialog = modalDialog != nullptr ? modalDialog : activeDialog();
    if (dialog == nullptr || ROI_SYSTEM(IsWindow(dialog)) == FALSE || !dialogTakes(dialog, message)) {
        ROI_SYSTEM(TranslateMessage(&message));
        ROI_SYSTEM(DispatchMessageW(&message));
    }
    return true;
}

void pollUntilDestroyed(HWND dialog, HWND parent, bool idleMessages) {
    for (;;) {
        if (!dispatchOne(dialog)) {
            // A message sent from another thread is handled inside PeekMessageW and can
            // destroy the dialog with nothing left in the queue: check before idling.
            if (ROI_SYSTEM(IsWindow(dialog)) == FALSE) {
                break;
            }
            if (parent != nullptr && idleMessages) {
                ROI_SYSTEM(SendMessageA(parent, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(dialog)));
            }
            ROI_SYSTEM(Sleep(1));  // an empty queue: give the processor away rather than spin
            continue;
        }
        if (ROI_SYSTEM(IsWindow(dialog)) == FALSE) {
            break;
        }
    }
}

// WM_SETFONT to an ordinary control; the font it had before the first change is noted,
// to be given back when its record goes.
void sendControlFont(HWND control, HFONT font) {
    bool initialKnown = true;
    if (const LockedRecord record(control); record) {
        initialKnown = record->initialFontKnown;
    }
    if (!initialKnown) {
        HFONT initial = reinterpret_cast<HFONT>(ROI_SYSTEM(SendMessageA(control, WM_GETFONT, 0, 0)));
        if (const LockedRecord record(control); record) {
            record->initialFontKnown = true;
            record->initialFont = initial;
            record->initialFontIsSystem = initial == nullptr;
        }
    }
    ROI_SYSTEM(SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE));
}

}  // namespace

// ---- text conversion ------------------------------------------------------------------------

std::wstring toWide(std::string_view text) {
    std::wstring wide;
    codePageToWide(text, MB_PRECOMPOSED, wide);
    return wide;
}

std::string toNarrow(std::wstring_view text) {
    std::string narrow;
    wideToCodePage(text, narrow);
    return narrow;
}

// ---- resource names -----------------------------------------------------------------------

bool resourceNameMatches(std::wstring_view wanted, const wchar_t* resourceName) {
    if (resourceName == nullptr) {
        return false;
    }
    const long id = resourceId(wanted);
    if (IS_INTRESOURCE(resourceName)) {
        return id >= 0 && static_cast<ULONG_PTR>(id) == reinterpret_cast<ULONG_PTR>(resourceName);
    }
    if (id >= 0) {
        return false;  // "#123" names an integer id, never a string name
    }
    return sameIgnoringAsciiCase(wanted, resourceName);
}

// ---- dialogs -----------------------------------------------------------------------------------

HWND createDialog(UnitMode unit, HWND parent, std::string_view caption, int x, int y, int width, int height,
                  DWORD style, DWORD extendedStyle) {
    // 1. Style.
    style = dialogStyle(style, x, y, parent != nullptr);

    // 2. Template, 3. the window (hidden, since WS_VISIBLE is gone).
    const std::vector<WORD> words =
        buildDialogTemplate(style, extendedStyle, x, y, width, height, defaultTemplateFont());
    HWND dialog = ROI_SYSTEM(CreateDialogIndirectParamW(
        programInstance(), reinterpret_cast<LPCDLGTEMPLATEW>(words.data()), parent, engineDialogProc, 0));
    if (dialog == nullptr) {
        return nullptr;
    }

    // 4. Pixels: the size given is the client size, and the position is placed here.
    if (unit == UnitMode::Pixels) {
        placeInPixels(dialog, parent, style, x, y, width, height);
    }

    // 5. The real caption.
    ROI_SYSTEM(SetWindowTextW(dialog, toWide(caption).c_str()));

    // 6. The record. A dialog that cannot have one is destroyed rather than left
    // behind as an invisible window nobody knows about.
    const bool recorded = newRecord(dialog, [&](WindowRecord& record) {
        record.parent = parent;
        record.kind = ControlKind::None;
        record.flags = (unit == UnitMode::Pixels ? RECORD_PIXELS : RECORD_DIALOG_UNITS) | RECORD_IS_DIALOG;
        record.showCommand = (style & WS_MAXIMIZE) != 0   ? SW_MAXIMIZE
                             : (style & WS_MINIMIZE) != 0 ? SW_MINIMIZE
                                                          : SW_SHOW;
        record.style = style;
        record.extendedStyle = extendedStyle;
        record.dialogFont = reinterpret_cast<HFONT>(ROI_SYSTEM(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    });
    if (!recorded) {
        ROI_SYSTEM(DestroyWindow(dialog));
        return nullptr;
    }
    return dialog;
}

void addControl(HWND dialog, int id, ControlKind kind, std::string_view text, int x, int y, int width, int height,
                DWORD style, DWORD extendedStyle, DialogHandler handler) {
    // 1. The dialog's record: its units and the font its controls start with.
    std::uint32_t unitBits = 0;
    HFONT dialogFont = nullptr;
    {
        const LockedRecord dialogRecord(dialog);
        if (!dialogRecord) {
            return;
        }
        unitBits = dialogRecord->flags & RECORD_UNIT_BITS;
        dialogFont = dialogRecord->dialogFont;
    }

    // 2. Style, and the class the kind stands for.
    ControlStyle styles = controlStyle(kind, style, extendedStyle);
    if (styles.className == nullptr) {
        return;  // not a kind addControl creates
    }

    // 3. Position, in pixels.
    const ControlBox box = controlBox(dialog, unitBits, x, y, width, height);

    // 4. Images: the text names the resource, and a name that is no bitmap is an icon.
    const std::wstring wideText = toWide(text);
    const bool isImage = kind == ControlKind::BitmapImage;
    bool isIcon = false;
    if (isImage && !hasBitmapResource(wideText)) {
        isIcon = true;
        styles.style = (styles.style & ~static_cast<DWORD>(SS_BITMAP)) | SS_ICON;
    }

    // 5. The window, with the dialog's font.
    HWND control = createControlWindow(dialog, id, styles, isImage ? nullptr : wideText.c_str(), box, dialogFont);
    if (control == nullptr) {
        return;  // no record, no image, no further set-up
    }

    // 6. The record, with the dialog's units and the kind of image.
    const std::uint32_t imageBits = !isImage ? 0u
                                    : isIcon ? std::uint32_t{RECORD_IMAGE_ICON}
                                             : std::uint32_t{RECORD_IMAGE_BITMAP};
    const bool recorded = newRecord(control, [&](WindowRecord& record) {
        record.parent = dialog;
        record.kind = kind;
        record.flags = unitBits | RECORD_CONTROL | imageBits;
        record.handler = handler;
        record.style = styles.style;
        record.extendedStyle = styles.extendedStyle;
    });
    if (!recorded) {
        return;
    }

    // 7. Set-up by kind.
    if (kind == ControlKind::PushButton && (styles.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        ROI_SYSTEM(SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(id), 0));
    } else if (isImage) {
        attachImage(control, wideText, isIcon);
    }
}

HWND controlHandle(HWND dialog, int id) {
    if (dialog == nullptr) {
        return nullptr;
    }
    return ROI_SYSTEM(GetDlgItem(dialog, id));
}

std::string getControlText(HWND control) {
    if (control == nullptr || ROI_SYSTEM(IsWindow(control)) == FALSE) {
        return {};
    }
    const int length = ROI_SYSTEM(GetWindowTextLengthW(control));
    if (length <= 0) {
        return {};
    }
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ROI_SYSTEM(GetWindowTextW(control, buffer.data(), length + 1));
    if (copied <= 0) {
        return {};
    }
    buffer.resize(static_cast<std::size_t>(std::min(copied, length)));
    return toNarrow(buffer);
}

void setControlText(HWND control, std::string_view text) {
    if (control == nullptr || ROI_SYSTEM(IsWindow(control)) == FALSE) {
        return;
    }
    ROI_SYSTEM(SetWindowTextW(control, toWide(text).c_str()));
}

// ---- fonts ---------------------------------------------------------------------------------------

int createFont(std::string_view face, float points, int styleBits, int charSet, int pitchAndFamily, int escapement) {
    std::wstring wideFace = toWide(face);
    if (wideFace.size() > LF_FACESIZE - 1) {
        wideFace.resize(LF_FACESIZE - 1);
    }
    // 0 means the default size; a size that is no number at all is taken the same way.
    if (points == 0.0f || !std::isfinite(points)) {
        points = 8.0f;
    }
    if ((styleBits & FONT_NEGATE_SIZE) != 0) {
        points = -points;
    }
    LOGFONTW logFont = {};  // every field not named below stays 0
    logFont.lfEscapement = escapement;
    logFont.lfOrientation = escapement;
    logFont.lfWeight = (styleBits & FONT_BOLD) != 0 ? FW_BOLD : FW_NORMAL;
    logFont.lfItalic = (styleBits & FONT_ITALIC) != 0 ? 1 : 0;
    logFont.lfUnderline = (styleBits & FONT_UNDERLINE) != 0 ? 1 : 0;
    logFont.lfStrikeOut = (styleBits & FONT_STRIKEOUT) != 0 ? 1 : 0;
    logFont.lfCharSet = static_cast<BYTE>(charSet);
    logFont.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    std::copy(wideFace.begin(), wideFace.end(), logFont.lfFaceName);
    return findOrAddFont(points, logFont);
}

void setControlFont(HWND dialog, int id, int fontNumber) {
    // 1. The control and the font.
    if (fontNumber == 0) {
        fontNumber = 1;
    }
    HWND control = controlHandle(dialog, id);
    ControlKind kind = ControlKind::None;
    if (const LockedRecord record(control); record) {
        kind = record->kind;
    } else {
        return;
    }
    FontRecord info;
    if (!fontInfo(fontNumber, info)) {
        return;
    }
    // 2. Realised on the control's device context.
    HFONT font = realiseFont(fontNumber, control);
    if (font == nullptr) {
        return;  // the control keeps its font
    }
    // 3. A surface draws with its memory DC's font; other controls take WM_SETFONT.
    if (kind == ControlKind::GraphicSurface) {
        const auto selectFont = selectSurfaceFontHook.load();
        if (selectFont == nullptr || !selectFont(control, font)) {
            return;
        }
    } else {
        sendControlFont(control, font);
    }
    // 4. References: the new font first, so a font set twice never drops to 0.
    addFontReference(fontNumber);
    int previous = 0;
    if (const LockedRecord record(control); record) {
        previous = std::exchange(record->font, fontNumber);
    }
    if (previous != 0) {
        dropFontReference(previous);
    }
}

void releaseFont(int fontNumber) {
    unrealiseFont(fontNumber);
}

// ---- accelerators and icons ------------------------------------------------------------------

void setAccelerators(HWND dialog, const ACCEL* entries, int count) {
    if (!LockedRecord(dialog) || entries == nullptr || count <= 0) {
        return;
    }
    // The system takes a writable table; it only reads it.
    std::vector<ACCEL> copy(entries, entries + count);
    HACCEL table = ROI_SYSTEM(CreateAcceleratorTableW(copy.data(), count));
    if (table == nullptr) {
        return;  // the dialog keeps the table it had, if any
    }
    HACCEL replaced = nullptr;
    if (const LockedRecord record(dialog); record) {
        replaced = std::exchange(record->accelerators, table);
    }
    if (replaced != nullptr) {
        ROI_SYSTEM(DestroyAcceleratorTable(replaced));
    }
}

// One size of the icon resource iconId, picked from its own images. Not LR_SHARED: a
// shared icon is handed out at the size first loaded, whatever size is asked later.
HICON loadIcon(int iconId, int widthMetric, int heightMetric) {
    return static_cast<HICON>(
        ROI_SYSTEM(LoadImageW(programInstance(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, GetSystemMetrics(widthMetric),
                              GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR)));
}

// Keeps icon in the dialog's slot (a member of its record), giving back the one it held;
// a null icon leaves the slot alone.
void keepIcon(HWND dialog, HICON WindowRecord::*slot, HICON icon) {
    if (icon == nullptr) {
        return;
    }
    HICON replaced = nullptr;
    if (const LockedRecord record(dialog); record) {
        replaced = std::exchange((*record).*slot, icon);
    } else {
        replaced = icon;  // the dialog went meanwhile: nobody keeps it
    }
    if (replaced != nullptr) {
        ROI_SYSTEM(DestroyIcon(replaced));
    }
}

void setDialogIcon(HWND dialog, int iconId) {
    if (!LockedRecord(dialog)) {
        return;
    }
    keepIcon(dialog, &WindowRecord::bigIcon, loadIcon(iconId, SM_CXICON, SM_CYICON));
    keepIcon(dialog, &WindowRecord::smallIcon, loadIcon(iconId, SM_CXSMICON, SM_CYSMICON));
}

// ---- running -------------------------------------------------------------------------------------

void runModal(HWND dialog, DialogHandler handler, INT_PTR* result) {
    // 1. The dialog comes to the front.
    ROI_SYSTEM(SetForegroundWindow(dialog));

    // 2. The handler's own start.
    startHandler(dialog, handler);

    // 3. The record takes the handler and where the result goes.
    HWND parent = nullptr;
    bool idleMessages = true;
    int showCommand = SW_SHOW;
    {
        const LockedRecord record(dialog);
        if (!record) {
            return;
        }
        record->handler = handler;
        record->flags |= RECORD_SHOWN_MODALLY;
        record->resultDestination = result;
        parent = record->parent;
        idleMessages = (record->style & DS_NOIDLEMSG) == 0;
        showCommand = record->showCommand;
    }

    // 4. The parent leaves any mode it is in and takes no input while the dialog runs.
    if (parent != nullptr) {
        ROI_SYSTEM(SendMessageA(parent, WM_CANCELMODE, 0, 0));
        ROI_SYSTEM(EnableWindow(parent, FALSE));
    }

    // 5. The dialog appears, as its style asks.
    ROI_SYSTEM(ShowWindow(dialog, showCommand));

    // 6. Messages until the dialog is gone.
    pollUntilDestroyed(dialog, parent, idleMessages);

    // 7. endDialog enabled the parent; a dialog destroyed some other way must not
    // leave it disabled either.
    if (parent != nullptr && ROI_SYSTEM(IsWindow(parent)) != FALSE) {
        ROI_SYSTEM(EnableWindow(parent, TRUE));
        ROI_SYSTEM(SetFocus(parent));
    }
}

void endDialog(HWND dialog, INT_PTR result) {
    // 1. The record. 2. The result to its destination; the close box works again.
    {
        const LockedRecord record(dialog);
        if (!record) {
            return;
        }
        if (record->resultDestination != nullptr) {
            *record->resultDestination = result;
        }
        record->closeLock = false;
    }

    // 3. The handler sees WM_CLOSE; it may end the dialog itself, so look again.
    ROI_SYSTEM(SendMessageA(dialog, WM_CLOSE, 0, 0));
    HWND parent = nullptr;
    HACCEL accelerators = nullptr;
    {
        const LockedRecord record(dialog);
        if (!record) {
            return;
        }
        parent = record->parent;
        accelerators = std::exchange(record->accelerators, nullptr);
    }

    // 4. The parent takes input again; the accelerators go.
    if (parent != nullptr) {
        ROI_SYSTEM(EnableWindow(parent, TRUE));
    }
    if (accelerators != nullptr) {
        ROI_SYSTEM(DestroyAcceleratorTable(accelerators));
    }

    // 5. WM_DESTROY and WM_NCDESTROY follow; the records go with the latter.
    ROI_SYSTEM(DestroyWindow(dialog));
}

int pumpMessage() {
    if (!dispatchOne(nullptr)) {
        ROI_SYSTEM(Sleep(1));  // callers pump in a loop: an empty queue gives the processor away
    }
    return openDialogs.load();
}

int messageBox(std::string_view text, std::string_view title, UINT style) {
    const std::wstring wideText = toWide(text);
    const std::wstring wideTitle = toWide(title.empty() ? std::string_view(DEFAULT_TITLE) : title);
    // A moment for the other threads first (a canvas mid-paint) before the box's own
    // modal loop takes this thread over.
    ROI_SYSTEM(Sleep(5));
    return ROI_SYSTEM(MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(), style));
}

void setSurfaceHooks(const SurfaceHooks& hooks) {
    paintSurfaceHook.store(hooks.paint);
    selectSurfaceFontHook.store(hooks.selectFont);
}

// ---- the dialog procedure -----------------------------------------------------------------------

INT_PTR routeDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog();
    case WM_ACTIVATE:
        return onActivate(dialog, wParam);
    case WM_DESTROY:
        --openDialogs;
        break;
    default:
        break;
    }
    const INT_PTR result = callHandlers(dialog, message, wParam, lParam);
    if (result != 0) {
        return onHandled(dialog, result);
    }
    return defaultAction(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK engineDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return callGuarded([&] { return routeDialogMessage(dialog, message, wParam, lParam); },
                       [] { return static_cast<INT_PTR>(FALSE); });
}

}  // namespace roi
