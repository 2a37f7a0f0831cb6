// The help screen: 32 fixed lines printed into a text canvas window.
#pragma once

#include <windows.h>

namespace roi {

// Opens the help window, prints the text, waits for a key or the close box, closes it.
void showHelpScreen(HWND dialog);

}  // namespace roi
