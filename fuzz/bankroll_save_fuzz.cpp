// Fuzzes bankrollToSave. The first 10 bytes are an extended value whose canonical
// text is the ending bankroll; the rest is any text as the starting bankroll
// (as a hand-edited file could leave it). Saved texts hold number characters
// only; the canonical one reads back as the same number (bit for bit where its
// power of ten is exact, else to the same 15 digits), and an ordinary text
// whose filtered form reads the same is saved as that filtered form.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/number_text.h"
#include "core/session.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool onlyNumberChars(const std::string& text) {
    return roi::retainChars(text, roi::NUMBER_CHARS) == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char raw[sizeof(roi::Extended)] = {};
    const std::size_t valueBytes = std::min<std::size_t>(size, 10);
    std::memcpy(raw, data, valueBytes);
    roi::Extended x;
    std::memcpy(&x, raw, sizeof x);
    const std::string other(reinterpret_cast<const char*>(data) + valueBytes, size - valueBytes);

    roi::SessionValues s;
    const std::string canonical = roi::numberToText(x);
    roi::adoptBankroll(s, other, canonical);
    const roi::BankrollTexts saved = roi::bankrollToSave(s);

    require(onlyNumberChars(saved.starting));
    require(onlyNumberChars(saved.ending));

    // The ending bankroll: the canonical text.
    const roi::Extended expected = roi::parseNumber(canonical);
    const roi::Extended back = roi::parseNumber(saved.ending);
    require(roi::numberToText(back) == roi::numberToText(expected));
    const roi::DecimalDigits d = roi::decimalDigits(expected, 15);
    int k = 15;
    while (k > 1 && d.digits[static_cast<std::size_t>(k - 1)] == '0') {
        --k;
    }
    if (canonical.find('E') == std::string::npos) {
        require(saved.ending == roi::retainChars(canonical, roi::NUMBER_CHARS));
    } else if (d.q - k <= 27 && d.q > -4900) {
        require(std::memcmp(&back, &expected, 10) == 0);
    }

    // The starting bankroll: any text.
    const std::string filtered = roi::retainChars(other, roi::NUMBER_CHARS);
    if (roi::parseNumber(filtered) == roi::parseNumber(other)) {
        require(saved.starting == filtered);
    }
    return 0;
}
