// Where the command tail starts in a process's command line: the program name
// and the blanks after it are skipped, the rest is passed to the main routine.
#pragma once

#include <cstddef>
#include <string_view>

namespace roi {

// Offset of the first unit of the tail in line (line.size() when the tail is empty).
// A quoted program name runs to the next double quote (or to the end of the line);
// an unquoted one to the first unit at or below the blank. Only blanks (0x20) are
// skipped after it, so a TAB starts the tail.
std::size_t commandTailOffset(std::u16string_view line);

}  // namespace roi
