#include "tav/base/printable.h"

#include <cstdint>

namespace tav {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` and
// its code point, or 0 when it is not one (overlong forms, surrogates and
// values past U+10FFFF included).
std::size_t Utf8Sequence(std::string_view text, std::uint32_t& codePoint) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    std::uint32_t minimum;
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

bool IsControl(std::uint32_t codePoint) { return codePoint < 0x20 || (codePoint >= 0x7f && codePoint <= 0x9f); }

void AppendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xf];
    }
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        std::uint32_t codePoint = 0;
        const std::size_t length = Utf8Sequence(text, codePoint);
        if (length == 0) {
            AppendEscaped(out, text.substr(0, 1));
            text.remove_prefix(1);
            continue;
        }
        if (IsControl(codePoint)) {
            AppendEscaped(out, text.substr(0, length));
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace tav
