// The numbered font table: the fonts createFont asks for, realised as GDI fonts when a
// control or canvas first uses them, counted by the records that hold them. Used by
// the main thread and by canvas threads under its own spin lock, which is held for one
// table operation only and never together with the record-list lock; GDI calls happen
// outside it.
#pragma once

#include <windows.h>

#include <string>

namespace roi {

// Font table. Numbers are 1-based positions and stay valid for the process.
struct FontRecord {
    int number = 0;
    int references = 0;
    HFONT realised = nullptr;
    float points = 0.0f;
    LOGFONTW logFont = {};
};
// Snapshot of font number n; false when there is no such font.
bool fontInfo(int number, FontRecord& out);
int fontCount();
// The realised GDI font of n, realising it for forWindow's DPI (null: the screen) if needed.
HFONT realiseFont(int number, HWND forWindow);
void addFontReference(int number);
void dropFontReference(int number);
// Creates the built-in fonts 1 to 3 (start-up; repeated calls do nothing).
void createDefaultFonts();

// The face GDI is asked for in place of face on this screen. A raster face that has a
// scalable face of the same design ("MS Sans Serif": "Microsoft Sans Serif") gives way
// to it when, at the default dialog font's size, it is realised much smaller than
// asked (its largest design is behind the display's scale, and the window's dialog
// units and texts would stop growing with it) and the scalable face is installed.
// Any other face is kept. Decided once per face for the process, whose DPI is fixed;
// the dialog template and every realised font ask the same, so the window and all its
// texts keep one face.
std::wstring faceForScreen(const wchar_t* face);

// Font-table services behind createFont and releaseFont.
// lfHeight for a font of points at pixelsPerInch: -(pixelsPerInch * points / 72),
// rounded to the nearest integer, halves to even.
int fontHeightFor(int pixelsPerInch, float points);
// The number of the font with this size and the same LOGFONTW from lfEscapement
// through lfFaceName; appends an unrealised record when there is none (0: no memory).
int findOrAddFont(float points, const LOGFONTW& logFont);
// Deletes the realised GDI font of an unreferenced font above 3; true when it did.
bool unrealiseFont(int number);

}  // namespace roi
