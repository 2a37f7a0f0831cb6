#include "app/code_page.h"

#include <climits>

#include "app/runtime.h"
#include "app/system_call.h"

namespace roi {

namespace {

// Both directions: convert(codePage, in, size, out, capacity) is asked once with no
// output for the length, once to convert.
template <typename Text, typename Output, typename Convert>
bool convertText(Text text, Output& output, Convert convert) {
    output.clear();
    if (text.empty()) {
        return true;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    const UINT codePage = threadRecord().codePage;
    const int size = static_cast<int>(text.size());
    const int length = convert(codePage, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    output.resize(static_cast<std::size_t>(length));
    const int written = convert(codePage, text.data(), size, output.data(), length);
    if (written <= 0) {
        output.clear();
        return false;
    }
    output.resize(static_cast<std::size_t>(written));
    return true;
}

}  // namespace

bool codePageToWide(std::string_view text, DWORD flags, std::wstring& wide) {
    return convertText(text, wide, [flags](UINT codePage, const char* in, int size, wchar_t* out, int capacity) {
        return ROI_SYSTEM_KEEPING_FPU(MultiByteToWideChar(codePage, flags, in, size, out, capacity));
    });
}

bool wideToCodePage(std::wstring_view text, std::string& narrow) {
    // No default character given: the code page's own stands in for what it cannot hold.
    return convertText(text, narrow, [](UINT codePage, const wchar_t* in, int size, char* out, int capacity) {
        return ROI_SYSTEM_KEEPING_FPU(WideCharToMultiByte(codePage, 0, in, size, out, capacity, nullptr, nullptr));
    });
}

}  // namespace roi
