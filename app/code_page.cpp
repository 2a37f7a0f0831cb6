#include "app/code_page.h"

#include <climits>

#include "app/runtime.h"

namespace roi {

bool codePageToWide(std::string_view text, DWORD flags, std::wstring& wide) {
    wide.clear();
    if (text.empty()) {
        return true;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    const UINT codePage = threadRecord().codePage;
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    const int written = MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    if (written <= 0) {
        wide.clear();
        return false;
    }
    wide.resize(static_cast<std::size_t>(written));
    return true;
}

bool wideToCodePage(std::wstring_view text, std::string& narrow) {
    narrow.clear();
    if (text.empty()) {
        return true;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    const UINT codePage = threadRecord().codePage;
    const int size = static_cast<int>(text.size());
    // No default character given: the code page's own stands in for what it cannot hold.
    const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return false;
    }
    narrow.resize(static_cast<std::size_t>(length));
    const int written = WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    if (written <= 0) {
        narrow.clear();
        return false;
    }
    narrow.resize(static_cast<std::size_t>(written));
    return true;
}

}  // namespace roi
