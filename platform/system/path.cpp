#include "platform/system/path.h"

namespace platform {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

unsigned char AsciiLower(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

}  // namespace

PathParts SplitPath(std::string_view path, bool driveLetters) {
    PathParts parts;
    if (driveLetters && path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
        parts.drive = path.substr(0, 2);
        path.remove_prefix(2);
    }
    std::size_t nameStart = 0;
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            nameStart = i;
            break;
        }
    }
    parts.dir = path.substr(0, nameStart);
    const std::string_view name = path.substr(nameStart);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        parts.fname = name;
    } else {
        parts.fname = name.substr(0, dot);
        parts.ext = name.substr(dot);
    }
    return parts;
}

int StrICmp(std::string_view a, std::string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const int diff = AsciiLower(a[i]) - AsciiLower(b[i]);
        if (diff != 0) return diff;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    // A backslash is a separator on Windows only; elsewhere it may end a name.
    const char last = folder.back();
    const bool endsInSeparator = last == PathSeparator() || (PathSeparator() == '\\' && last == '/');
    return endsInSeparator ? folder + name : folder + PathSeparator() + name;
}

}  // namespace platform
