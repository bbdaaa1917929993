#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One INI-style settings file held in memory: read once, queried and edited,
// then written back whole. Reading follows the rules of the Windows profile
// functions (GetPrivateProfileInt); editing changes only the lines it must
// (WritePrivateProfileString), so hand edits and comments survive.
// It does not keep the file open, watch it, or merge concurrent writers.
class Profile {
public:
    enum class LoadResult { Loaded, Missing, Unreadable };

    // Reads `path`. Missing: no such file (the profile is empty).
    // Unreadable: it exists but cannot be read; the profile is left empty and
    // must not be saved over it, since its contents would be lost.
    LoadResult Load(const std::string& path);

    // Parses `text` as the file's contents.
    void SetText(std::string_view text);

    // The value of `key` in `section` as an integer: `fallback` when the
    // section or key is missing or the value is empty; otherwise an optional
    // sign and decimal digits, 0 when there are none, clamped to 32 bits.
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t fallback) const;

    // Sets `key` in `section` to `value`: in place when the key exists, else
    // after the last key line of the section, else in a new section at the end.
    void SetString(std::string_view section, std::string_view key, std::string_view value);

    // The file's contents as they would be written.
    std::string Text() const;

    // Replaces the file at `path` with Text() without ever leaving a
    // truncated or half-written file behind. False when it could not.
    bool Save(const std::string& path) const;

private:
    struct Line {
        std::string content;  // without its line ending
        std::string ending;   // "\r\n", "\n" or empty on a last line without one
    };

    std::size_t FindSection(std::string_view section) const;
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    std::size_t SectionEnd(std::size_t header) const;
    std::string NewLineEnding() const;
    void InsertLine(std::size_t at, std::string content);

    std::string byteOrderMark_;  // a UTF-8 mark some editors put first; kept as it was
    std::vector<Line> lines_;
};

}  // namespace platform
