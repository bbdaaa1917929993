#include "tav/base/utf8.h"

namespace tav {

std::size_t Utf8Sequence(std::string_view text, char32_t& codePoint) {
    if (text.empty()) return 0;
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xe0) == 0xc0) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1fu;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0fu;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3fu);
    }
    const bool surrogate = codePoint >= 0xd800 && codePoint <= 0xdfff;
    return codePoint < minimum || surrogate || codePoint > 0x10ffff ? 0 : length;
}

}  // namespace tav
