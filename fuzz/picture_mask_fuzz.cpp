// Fuzzes formatWithMask. The first 10 bytes are the extended value (any bit
// pattern: NaNs, infinities, denormals and the patterns no arithmetic makes),
// the rest is the mask, any bytes. Must not crash, hang or pass the output limit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/picture_mask.h"

namespace {

constexpr std::size_t VALUE_BYTES = 10;

// A mask of letters, digits and blanks has no field: it comes back as it is.
bool onlyPlainLiterals(std::string_view mask) {
    return std::all_of(mask.begin(), mask.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char raw[sizeof(roi::Extended)] = {};
    const std::size_t valueBytes = std::min(size, VALUE_BYTES);
    std::memcpy(raw, data, valueBytes);
    roi::Extended x;
    std::memcpy(&x, raw, sizeof x);
    const std::string_view mask(reinterpret_cast<const char*>(data) + valueBytes, size - valueBytes);

    const std::string text = roi::formatWithMask(mask, x);
    if (text.size() > roi::MASK_OUTPUT_LIMIT) {
        std::abort();
    }
    if (onlyPlainLiterals(mask) && text != mask.substr(0, roi::MASK_OUTPUT_LIMIT)) {
        std::abort();
    }
    // The same mask and value always give the same text.
    if (roi::formatWithMask(mask, x) != text) {
        std::abort();
    }
    return 0;
}
