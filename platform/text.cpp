#include "platform/text.h"

namespace platform {

namespace {

bool IsLeadSurrogate(char32_t value) { return value >= 0xD800 && value <= 0xDBFF; }
bool IsTrailSurrogate(char32_t value) { return value >= 0xDC00 && value <= 0xDFFF; }
bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendUtf8(char32_t value, std::string& out) {
    const auto byte = [&out](char32_t bits) { out += static_cast<char>(bits); };
    if (value < 0x80) return byte(value);
    if (value < 0x800) {
        byte(0xC0 | (value >> 6));
    } else if (value < 0x10000) {
        byte(0xE0 | (value >> 12));
        byte(0x80 | ((value >> 6) & 0x3F));
    } else {
        byte(0xF0 | (value >> 18));
        byte(0x80 | ((value >> 12) & 0x3F));
        byte(0x80 | ((value >> 6) & 0x3F));
    }
    byte(0x80 | (value & 0x3F));
}

// Decodes the sequence at `at` (a surrogate's 3 bytes included) and moves
// past it; false for bytes that are no sequence.
bool DecodeNext(std::string_view text, std::size_t& at, char32_t& value) {
    const auto first = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    char32_t least = 0;
    if (first < 0x80) {
        value = first;
    } else if (first >= 0xC0 && first < 0xE0) {
        length = 2, least = 0x80, value = first & 0x1F;
    } else if (first >= 0xE0 && first < 0xF0) {
        length = 3, least = 0x800, value = first & 0x0F;
    } else if (first >= 0xF0 && first < 0xF8) {
        length = 4, least = 0x10000, value = first & 0x07;
    } else {
        return false;
    }
    if (text.size() - at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if (!IsContinuation(next)) return false;
        value = (value << 6) | (next & 0x3F);
    }
    at += length;
    return value >= least && value <= 0x10FFFF;
}

}  // namespace

std::string Utf8FromUtf16(std::u16string_view units) {
    std::string text;
    text.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t value = units[i];
        if (IsLeadSurrogate(value) && i + 1 < units.size() && IsTrailSurrogate(units[i + 1])) {
            value = 0x10000 + ((value - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        AppendUtf8(value, text);
    }
    return text;
}

bool Utf16FromUtf8(std::string_view text, std::u16string& units) {
    units.clear();
    for (std::size_t at = 0; at < text.size();) {
        char32_t value;
        if (!DecodeNext(text, at, value)) return false;
        // A lead surrogate in `units` came from 3 bytes of its own: with this
        // trail it would read back as one character, not as these bytes.
        if (IsTrailSurrogate(value) && !units.empty() && IsLeadSurrogate(units.back())) return false;
        if (value < 0x10000) {
            units += static_cast<char16_t>(value);
        } else {
            units += static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
        }
    }
    return true;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        char32_t value;
        if (!DecodeNext(text, at, value) || IsLeadSurrogate(value) || IsTrailSurrogate(value)) return false;
    }
    return true;
}

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char byte : text) count += IsContinuation(static_cast<unsigned char>(byte)) ? 0 : 1;
    return count;
}

}  // namespace platform
