// How a system error maps to the runtime error numbers the text file layer reports.
#pragma once

#include <cstdint>

#include "core/runtime_errors.h"

namespace roi {

// The runtime error for a Win32 last-error value. 0 (no error) gives ERR_NONE.
RuntimeError mapSystemError(std::uint32_t systemError);

}  // namespace roi
