// System errors 1 to 39 go through a table; the rest follow three rules.
#include "core/file_errors.h"

#include <array>
#include <cstddef>

namespace roi {

namespace {

// Index: system error 0 to 39; each row names the system error it maps.
constexpr std::array<RuntimeError, 40> LOW_SYSTEM_ERRORS = {
    ERR_NONE,              // 0: no error
    ERR_PATH_ACCESS,       // 1
    ERR_NOT_FOUND,         // 2
    ERR_PATH_NOT_FOUND,    // 3
    ERR_TOO_MANY_FILES,    // 4
    ERR_ACCESS_DENIED,     // 5
    ERR_DEVICE_IO,         // 6
    ERR_BAD_MEMORY_BLOCK,  // 7: fatal
    ERR_NO_MEMORY,         // 8
    ERR_BAD_MEMORY_BLOCK,  // 9: fatal
    ERR_BAD_MEMORY_BLOCK,  // 10: fatal
    ERR_INTERNAL,          // 11
    ERR_INTERNAL,          // 12
    ERR_INTERNAL,          // 13
    ERR_NO_MEMORY,         // 14
    ERR_NO_DEVICE,         // 15
    ERR_PATH_ACCESS,       // 16
    ERR_OTHER_DEVICE,      // 17
    ERR_NOT_FOUND,         // 18
    ERR_ACCESS_DENIED,     // 19
    ERR_NO_DEVICE,         // 20
    ERR_NOT_READY,         // 21
    ERR_INTERNAL,          // 22
    ERR_MEDIA,             // 23
    ERR_INTERNAL,          // 24
    ERR_MEDIA,             // 25
    ERR_MEDIA,             // 26
    ERR_MEDIA,             // 27
    ERR_MEDIA,             // 28
    ERR_MEDIA,             // 29
    ERR_MEDIA,             // 30
    ERR_MEDIA,             // 31
    ERR_ACCESS_DENIED,     // 32
    ERR_ACCESS_DENIED,     // 33
    ERR_MEDIA,             // 34
    ERR_MEDIA,             // 35
    ERR_ACCESS_DENIED,     // 36
    ERR_PATH_ACCESS,       // 37
    ERR_END_OF_DATA,       // 38
    ERR_DISK_FULL,         // 39
};

constexpr std::uint32_t INVALID_PARAMETER = 87;
constexpr std::uint32_t DISK_FULL = 112;

}  // namespace

RuntimeError mapSystemError(std::uint32_t systemError) {
    if (systemError < LOW_SYSTEM_ERRORS.size()) {
        return LOW_SYSTEM_ERRORS[static_cast<std::size_t>(systemError)];
    }
    if (systemError == INVALID_PARAMETER) {
        return ERR_BAD_ARGUMENT;
    }
    if (systemError == DISK_FULL) {
        return ERR_DISK_FULL;
    }
    return ERR_PATH_ACCESS;
}

}  // namespace roi
