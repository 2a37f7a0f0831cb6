// The in-memory dialog template createDialog hands to the dialog manager: the final
// dialog style, the header of a DLGTEMPLATEEX without items, and its font part taken
// from the thread's default dialog font. Separate from the engine so tests can read
// the words back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/dialog_engine.h"

namespace roi {

// The font part of a dialog template.
struct TemplateFont {
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charSet = 0;
    std::wstring face;
};
// The final style of a dialog: the default for 0, the bits always set and cleared,
// DS_CENTER for a centred position, WS_CHILD without a parent turned into WS_POPUP.
DWORD dialogStyle(DWORD style, int x, int y, bool hasParent);
// A DLGTEMPLATEEX without items: no menu, no class, the title " ", the font part.
std::vector<WORD> buildDialogTemplate(DWORD style, DWORD extendedStyle, int x, int y, int width, int height,
                                      const TemplateFont& font);
// Pads the buffer to a DWORD boundary (templates and their items start on one).
void alignToDword(std::vector<WORD>& words);
// The font part for the thread's default dialog font (built-in font 1 when the
// number names no font).
TemplateFont defaultTemplateFont();

}  // namespace roi
