// System errors 1 to 39 go through a table; the rest follow three rules.
#include "core/file_errors.h"

#include <array>
#include <cstddef>

namespace roi {

namespace {

// Index: system error 0 to 39.
constexpr std::array<std::uint8_t, 40> LOW_SYSTEM_ERRORS = {
    0,                                  // 0: no error
    75,  53, 76,  67,  70, 57,          // 1 to 6
    241, 7,  241, 241,                  // 7 to 10: 7, 9 and 10 are fatal
    51,  51, 51,  7,   68, 75, 74, 53,  // 11 to 18
    70,  68, 71,  51,  72, 51,          // 19 to 24
    72,  72, 72,  72,  72, 72, 72,      // 25 to 31
    70,  70, 72,  72,  70, 75, 62, 61,  // 32 to 39
};

constexpr std::uint32_t INVALID_PARAMETER = 87;
constexpr std::uint32_t DISK_FULL = 112;

}  // namespace

int mapSystemError(std::uint32_t systemError) {
    if (systemError < LOW_SYSTEM_ERRORS.size()) {
        return LOW_SYSTEM_ERRORS[static_cast<std::size_t>(systemError)];
    }
    if (systemError == INVALID_PARAMETER) {
        return FILE_BAD_ARGUMENT;
    }
    if (systemError == DISK_FULL) {
        return FILE_DISK_SHORT_WRITE;
    }
    return 75;
}

}  // namespace roi
