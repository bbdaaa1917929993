#include "platform/system/profile.h"

#include <limits>

#include "platform/system/file.h"
#include "platform/system/path.h"

namespace platform {

// How the file is read, for people who edit it by hand:
// - a UTF-8 byte-order mark at the start is skipped (and kept on saving);
// - a line ends at LF; a CR right before it belongs to the line ending, so
//   CR LF and LF-only files read alike (a file keeps its own line endings);
// - blanks and tabs around section names, key names and values are ignored;
// - a line whose first non-blank character is ';' is a comment;
// - "[name]" starts a section (the name ends at the line's last "]"); "name=value" is a key line (the name ends at
//   the first "="); any other line is ignored and kept;
// - key lines before the first section header belong to no section;
// - names match without regard to ASCII case, and of a section or key that
//   occurs twice the first one wins.

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::string_view TrimBlanks(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsComment(std::string_view content) {
    const std::string_view t = TrimBlanks(content);
    return !t.empty() && t.front() == ';';
}

// The name of a section header line, or false when the line is none.
bool SectionName(std::string_view content, std::string_view& name) {
    const std::string_view t = TrimBlanks(content);
    if (t.empty() || t.front() != '[') return false;
    const std::size_t close = t.rfind(']');
    if (close == std::string_view::npos) return false;
    name = TrimBlanks(t.substr(1, close - 1));
    return true;
}

// Splits a key line at its first "=", or false when the line is none.
bool KeyLine(std::string_view content, std::string_view& name, std::string_view& value) {
    std::string_view ignored;
    if (IsComment(content) || SectionName(content, ignored)) return false;
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) return false;
    name = TrimBlanks(content.substr(0, eq));
    value = TrimBlanks(content.substr(eq + 1));
    return true;
}

std::int32_t ParseProfileInt(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t magnitude = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) magnitude = kLimit;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

}  // namespace

Profile::LoadResult Profile::Load(const std::string& path) {
    SetText({});
    std::string text;
    switch (ReadWholeFile(path, text)) {
    case FileRead::Missing:
        return LoadResult::Missing;
    case FileRead::Unreadable:
        return LoadResult::Unreadable;
    case FileRead::Read:
        break;
    }
    SetText(text);
    return LoadResult::Loaded;
}

void Profile::SetText(std::string_view text) {
    lines_.clear();
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    byteOrderMark_.clear();
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        byteOrderMark_ = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view content = text.substr(0, lf);
        const char* ending = "";
        if (lf != std::string_view::npos) {
            ending = "\n";
            if (!content.empty() && content.back() == '\r') {
                content.remove_suffix(1);
                ending = "\r\n";
            }
        }
        lines_.push_back({std::string(content), std::string(ending)});
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    }
}

std::size_t Profile::FindSection(std::string_view section) const {
    std::string_view name;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].content, name) && StrICmp(name, section) == 0) return i;
    }
    return kNone;
}

std::size_t Profile::SectionEnd(std::size_t header) const {
    std::string_view name;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].content, name)) return i;
    }
    return lines_.size();
}

std::size_t Profile::FindKey(std::size_t header, std::string_view key) const {
    std::string_view name, value;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyLine(lines_[i].content, name, value) && StrICmp(name, key) == 0) return i;
    }
    return kNone;
}

std::int32_t Profile::GetInt(std::string_view section, std::string_view key, std::int32_t fallback) const {
    const std::size_t header = FindSection(section);
    if (header == kNone) return fallback;
    const std::size_t line = FindKey(header, key);
    if (line == kNone) return fallback;
    std::string_view name, value;
    KeyLine(lines_[line].content, name, value);
    return value.empty() ? fallback : ParseProfileInt(value);
}

std::string Profile::NewLineEnding() const {
    for (const Line& line : lines_) {
        if (!line.ending.empty()) return line.ending;
    }
    return "\r\n";
}

void Profile::InsertLine(std::size_t at, std::string content) {
    const std::string ending = NewLineEnding();
    // The line before may be the last of a file that lacks a final line ending.
    if (at > 0 && lines_[at - 1].ending.empty()) lines_[at - 1].ending = ending;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(content), ending});
}

void Profile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    std::string keyLine(key);
    keyLine.append("=").append(value);
    const std::size_t header = FindSection(section);
    if (header == kNone) {
        std::string headerLine("[");
        headerLine.append(section).append("]");
        InsertLine(lines_.size(), std::move(headerLine));
        InsertLine(lines_.size(), keyLine);
        return;
    }
    const std::size_t existing = FindKey(header, key);
    if (existing != kNone) {
        // Keep the key's own spelling and the blanks around "=", replace the value.
        std::string& content = lines_[existing].content;
        std::size_t valueStart = content.find('=') + 1;
        while (valueStart < content.size() && (content[valueStart] == ' ' || content[valueStart] == '\t')) {
            ++valueStart;
        }
        content.replace(valueStart, std::string::npos, value);
        return;
    }
    std::size_t insertAt = header + 1;
    std::string_view name, oldValue;
    for (std::size_t i = header + 1; i < SectionEnd(header); ++i) {
        if (KeyLine(lines_[i].content, name, oldValue)) insertAt = i + 1;
    }
    InsertLine(insertAt, keyLine);
}

std::string Profile::Text() const {
    std::string text = byteOrderMark_;
    for (const Line& line : lines_) text += line.content + line.ending;
    return text;
}

bool Profile::Save(const std::string& path) const { return ReplaceFileAtomically(path, Text()); }

}  // namespace platform
