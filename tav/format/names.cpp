#include "tav/format/names.h"

#include <algorithm>
#include <string>

#include "tav/base/utf8.h"

namespace tav {

namespace {

bool IsReservedCharacter(char32_t c) {
    return c < 0x20 || std::u32string_view(U"<>:\"/\\|?*").find(c) != std::u32string_view::npos;
}

char32_t AsciiUpper(char32_t c) { return c >= U'a' && c <= U'z' ? c - (U'a' - U'A') : c; }

// Windows counts the superscripts of ISO 8859-1 as digits in COM and LPT.
bool IsDeviceDigit(char32_t c) {
    return (c >= U'0' && c <= U'9') || c == U'\u00B9' || c == U'\u00B2' || c == U'\u00B3';
}

// The part before the first dot, without the blanks that end it.
bool IsDeviceName(std::u32string base) {
    base = base.substr(0, base.find(U'.'));
    while (!base.empty() && base.back() == U' ') base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(), AsciiUpper);
    for (const std::u32string_view device : {U"CON", U"PRN", U"AUX", U"NUL", U"CONIN$", U"CONOUT$"}) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.starts_with(U"COM") || base.starts_with(U"LPT")) && IsDeviceDigit(base[3]);
}

}  // namespace

bool IsSafeEntryName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxEntryNameSize && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

bool IsWindowsName(std::string_view name) {
    std::u32string characters;
    while (!name.empty()) {
        char32_t c = 0;
        const std::size_t length = Utf8Sequence(name, c);
        if (length == 0 || IsReservedCharacter(c)) return false;
        characters += c;
        name.remove_prefix(length);
    }
    return !characters.empty() && characters.back() != U'.' && characters.back() != U' ' && !IsDeviceName(characters);
}

}  // namespace tav
