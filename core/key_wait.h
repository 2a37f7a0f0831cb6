// The pure rules of a wait for a key on a canvas: which keys it takes, and when its
// time is up on the local clock. The canvas window does the waiting and the Win32 calls.
#pragma once

#include <string_view>

namespace roi {

// True when key (one unit, or 0 and a scan code) is an entry of allowed; an empty
// list allows every key.
bool keyAllowed(std::wstring_view allowed, std::wstring_view key);

// The local clock within the hour (minutes, seconds, milliseconds), as a timed wait counts it.
inline constexpr int CLOCK_HOUR_MS = 3600000;
// The longest limit a wait keeps; a longer one is cut to this, so it ends within the hour.
inline constexpr int LONGEST_WAIT_MS = 3590000;

// True once limitMs have passed since startMs on that clock (which wraps each hour).
bool clockDeadlinePassed(int startMs, int limitMs, int nowMs);

}  // namespace roi
