// Text between the calling thread's code page and UTF-16, the one pair of conversions
// the dialog engine and the file layer share. Either gives its caller's x87 state back
// whole (ROI_SYSTEM_KEEPING_FPU), as the file layer promises its own callers.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace roi {

// Windows is asked twice: once for the length, once to convert. On a refusal the result
// is false with the output empty, and GetLastError still names the failed call's reason.
// Empty text converts to empty text.
bool codePageToWide(std::string_view text, DWORD flags, std::wstring& wide);
bool wideToCodePage(std::wstring_view text, std::string& narrow);

}  // namespace roi
