// Fuzzes parseNumber with any bytes. Beyond not crashing, the result is always a
// finite number, blanks in front and a minus sign in front of a bare mantissa act
// as the grammar says, a decimal number cut where its scan stopped reads the same,
// and the filtered text is read without trouble too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/number_text.h"

namespace {

bool finite(roi::Extended x) {
    return x == x && x - x == 0.0L;
}

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const roi::Extended x = roi::parseNumber(text);
    require(finite(x));

    // Blanks in front change nothing.
    require(roi::parseNumber(" \t\r\n" + std::string(text)) == x);

    // A minus sign in front of a mantissa negates the value.
    if (size > 0 && ((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) {
        require(roi::parseNumber("-" + std::string(text)) == -x);
        require(x >= 0.0L);
    }

    // Nothing after the place the scan stopped counts.
    const std::string_view number = roi::skipBlanks(text);
    if (number.empty() || number.front() != '&') {
        const std::size_t end = roi::scanDecimal(number).end;
        require(end <= number.size());
        const roi::Extended cut = roi::parseNumber(number.substr(0, end));
        require(std::memcmp(&cut, &x, 10) == 0);
    }

    // The filtered text can only hold a plain decimal number.
    const std::string filtered = roi::retainChars(text, roi::NUMBER_CHARS);
    require(filtered.size() <= size);
    require(finite(roi::parseNumber(filtered)));
    return 0;
}
