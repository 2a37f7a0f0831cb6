// Which keys a wait takes and when its time is up.
#include "core/key_wait.h"

#include <cstddef>

namespace roi {

namespace {

// An allowed list's entries: a character is one unit, (0, scan code) two, and an
// entry led by 0x00FF four.
constexpr wchar_t SCAN_CODE_LEAD = 0;
constexpr wchar_t LONG_ENTRY_LEAD = 0x00FF;

std::size_t entryLength(wchar_t lead) {
    if (lead == SCAN_CODE_LEAD) {
        return 2;
    }
    if (lead == LONG_ENTRY_LEAD) {
        return 4;
    }
    return 1;
}

}  // namespace

bool keyAllowed(std::wstring_view allowed, std::wstring_view key) {
    if (allowed.empty()) {
        return true;
    }
    for (std::size_t at = 0; at < allowed.size(); at += entryLength(allowed[at])) {
        if (allowed.substr(at, entryLength(allowed[at])) == key) {
            return true;
        }
    }
    return false;
}

bool clockDeadlinePassed(int startMs, int limitMs, int nowMs) {
    // Elapsed time on a clock that wraps each hour; waits are shorter than an hour.
    int elapsed = (nowMs - startMs) % CLOCK_HOUR_MS;
    if (elapsed < 0) {
        elapsed += CLOCK_HOUR_MS;
    }
    return elapsed >= limitMs;
}

}  // namespace roi
