// The dialog engine: dialogs built at run time from parameters, controls added one
// by one, numbered fonts, 8-bit text at the Win32 boundary, the polling modal loop,
// the one-message pump and message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace roi {

// Returns 0 when it did not handle the message (the engine's default follows).
using DialogHandler = INT_PTR (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

enum class UnitMode { DialogUnits = 1, Pixels = 2 };

enum class ControlKind { None = 0, PushButton, GroupBox, StaticLabel, EditBox, BitmapImage, GraphicSurface };

// x or y of this value asks createDialog for a centred dialog.
inline constexpr int CENTRED = static_cast<int>(0x80000000u);

// SetWindowPos flags with which a new dialog or canvas frame takes its size: no z-order,
// no redraw, no activation, no copied bits, no owner z-order, no WM_WINDOWPOSCHANGING.
inline constexpr UINT PLACE_QUIETLY =
    SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING;
static_assert(PLACE_QUIETLY == 0x71C);

// Default title of messageBox.
inline constexpr char DEFAULT_TITLE[] = "Kestrelvox";

// Font style bits of createFont.
enum : int { FONT_BOLD = 1, FONT_ITALIC = 2, FONT_UNDERLINE = 4, FONT_STRIKEOUT = 8, FONT_NEGATE_SIZE = 16 };

HWND createDialog(UnitMode unit, HWND parent, std::string_view caption, int x, int y, int width, int height,
                  DWORD style, DWORD extendedStyle);
void addControl(HWND dialog, int id, ControlKind kind, std::string_view text, int x, int y, int width, int height,
                DWORD style, DWORD extendedStyle, DialogHandler handler = nullptr);
HWND controlHandle(HWND dialog, int id);
std::string getControlText(HWND control);
void setControlText(HWND control, std::string_view text);

int createFont(std::string_view face, float points, int styleBits, int charSet, int pitchAndFamily, int escapement);
void setControlFont(HWND dialog, int id, int fontNumber);
void releaseFont(int fontNumber);

// Keyboard accelerators of dialog, translated by the modal loop and the pump before
// the dialog's own keyboard navigation; the dialog's record owns the table.
void setAccelerators(HWND dialog, const ACCEL* entries, int count);
// Gives dialog the icon resource iconId at the system's big and small icon sizes, for
// Alt+Tab and the taskbar, which ask with WM_GETICON. The dialog answers that message
// itself rather than taking the icons with WM_SETICON, with which the frame would also
// draw the small icon in its caption. The dialog's record owns both icons.
void setDialogIcon(HWND dialog, int iconId);

// Runs dialog modally until its window is destroyed; *result then holds endDialog's value.
void runModal(HWND dialog, DialogHandler handler, INT_PTR* result);
void endDialog(HWND dialog, INT_PTR result);
// Handles at most one pending message of the calling thread; returns the open dialog count.
int pumpMessage();
int messageBox(std::string_view text, std::string_view title, UINT style);

// Text conversion with the calling thread's code page.
std::wstring toWide(std::string_view text);
std::string toNarrow(std::wstring_view text);

// What the engine asks of an owner-drawn GraphicSurface control, which the canvas window
// (ui/canvas_window.cpp) makes and hands these over for before its first window opens:
// paint the item from the surface's picture (WM_DRAWITEM of its parent), and take a font
// for what it prints (setControlFont; false when nothing was selected). The engine knows
// no more of the canvas than this; without them it paints no surface and sets no font on one.
struct SurfaceHooks {
    void (*paint)(const DRAWITEMSTRUCT& item) = nullptr;
    bool (*selectFont)(HWND surface, HFONT font) = nullptr;
};
void setSurfaceHooks(const SurfaceHooks& hooks);

// The dialog procedure of every engine dialog (the application never calls it).
INT_PTR CALLBACK engineDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A building block of addControl, separate so tests can check it: whether a resource
// name handed over by EnumResourceNamesW (an integer id or a string) is the one wanted:
// "#" with decimal digits means that id, any other name is compared with a to z
// matched to A to Z.
bool resourceNameMatches(std::wstring_view wanted, const wchar_t* resourceName);

}  // namespace roi
