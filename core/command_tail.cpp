// The command tail, as the start-up separates it from the program name.
#include "core/command_tail.h"

namespace roi {

namespace {

constexpr char16_t QUOTE = u'"';
constexpr char16_t BLANK = u' ';

std::size_t skipBlanks(std::u16string_view line, std::size_t at) {
    while (at < line.size() && line[at] == BLANK) {
        ++at;
    }
    return at;
}

}  // namespace

std::size_t commandTailOffset(std::u16string_view line) {
    if (!line.empty() && line[0] == QUOTE) {
        const std::size_t closing = line.find(QUOTE, 1);
        if (closing == std::u16string_view::npos) {
            return line.size();
        }
        return skipBlanks(line, closing + 1);
    }
    std::size_t at = 0;
    while (at < line.size() && line[at] > BLANK) {
        ++at;
    }
    if (at < line.size() && line[at] == BLANK) {
        at = skipBlanks(line, at);
    }
    return at;
}

}  // namespace roi
