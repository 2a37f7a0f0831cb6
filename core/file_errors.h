// The runtime error codes of the text file layer, and how a system error maps to them.
#pragma once

#include <cstdint>

namespace roi {

// Codes the layer reports on its own account.
inline constexpr int FILE_BAD_ARGUMENT = 5;
inline constexpr int FILE_NO_MEMORY = 7;
inline constexpr int FILE_NOT_OPEN = 52;  // also a negative channel number
inline constexpr int FILE_NOT_FOUND = 53;
inline constexpr int FILE_WRONG_MODE = 54;
inline constexpr int FILE_ALREADY_OPEN = 55;
inline constexpr int FILE_DEVICE_SHORT_WRITE = 57;
inline constexpr int FILE_DISK_SHORT_WRITE = 61;
inline constexpr int FILE_END_OF_DATA = 62;
inline constexpr int FILE_BAD_NAME = 64;

// The runtime code for a Win32 last-error value. 0 (no error) gives 0.
int mapSystemError(std::uint32_t systemError);

}  // namespace roi
