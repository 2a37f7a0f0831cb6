// Which keys a wait takes, and when its time is up on the hourly clock.
#include "core/key_wait.h"

#include <gtest/gtest.h>

#include <string>

namespace roi {
namespace {

TEST(KeyAllowed, WalksTheListEntryByEntry) {
    struct Case {
        const char* why;
        std::wstring allowed;
        std::wstring key;
        bool expected;
    };
    const Case cases[] = {
        {"empty list takes every character", L"", L"a", true},
        {"empty list takes every scan code", L"", std::wstring{L'\0', L'\x3B'}, true},
        {"one of the characters", L"ynq", L"n", true},
        {"not in the list", L"ynq", L"x", false},
        {"case matters", L"y", L"Y", false},
        {"scan code entry", std::wstring{L'a', L'\0', L'\x48'}, std::wstring{L'\0', L'\x48'}, true},
        {"a scan code's second unit is no character", std::wstring{L'\0', L'\x48'}, L"\x48", false},
        {"another scan code", std::wstring{L'\0', L'\x48'}, std::wstring{L'\0', L'\x50'}, false},
        // 0x00FF leads a four-unit entry: its units are not characters of their own
        {"inside a four-unit entry", std::wstring{L'\xFF', L'a', L'b', L'c', L'z'}, L"a", false},
        {"after a four-unit entry", std::wstring{L'\xFF', L'a', L'b', L'c', L'z'}, L"z", true},
        {"a cut-off scan code entry matches nothing", std::wstring(1, L'\0'), std::wstring{L'\0', L'\x3B'}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(keyAllowed(c.allowed, c.key), c.expected);
    }
}

TEST(ClockDeadline, CountsOnTheHourlyClock) {
    struct Case {
        const char* why;
        int start;
        int limit;
        int now;
        bool passed;
    };
    const Case cases[] = {
        {"just started", 1000, 500, 1000, false},
        {"one short of the limit", 1000, 500, 1499, false},
        {"exactly at the limit", 1000, 500, 1500, true},
        {"the clock wrapped before the deadline", 3599000, 2000, 500, false},
        {"the clock wrapped past the deadline", 3599000, 2000, 1000, true},
        {"the longest wait, one millisecond short", 0, LONGEST_WAIT_MS, LONGEST_WAIT_MS - 1, false},
        {"the longest wait across the wrap", 3000000, LONGEST_WAIT_MS, 2990000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(clockDeadlinePassed(c.start, c.limit, c.now), c.passed);
    }
}

}  // namespace
}  // namespace roi
