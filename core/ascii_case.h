// Names compared as Windows compares resource and face names: the letters a to z
// matched to A to Z, every other unit as it is.
#pragma once

#include <string_view>

namespace roi {

constexpr wchar_t upperAscii(wchar_t unit) {
    return unit >= L'a' && unit <= L'z' ? static_cast<wchar_t>(unit - L'a' + L'A') : unit;
}

constexpr bool sameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace roi
