// Picture masks: literal text around one or more numeric fields ("$#,###.##").
#pragma once

#include <string>
#include <string_view>

#include "core/number_text.h"

namespace roi {

// The most characters formatWithMask ever returns.
inline constexpr std::size_t MASK_OUTPUT_LIMIT = 1024;

// x formatted into the mask's fields; never fails.
std::string formatWithMask(std::string_view mask, Extended x);

}  // namespace roi
