#include "tav/os/arguments.h"

namespace tav {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

class Cursor {
public:
    explicit Cursor(std::string_view line) : line_(line) {}

    std::size_t at() const { return at_; }
    bool AtEnd() const { return at_ == line_.size(); }

    // The program name as the run time reads it: quoted, or up to a blank.
    std::string TakeProgramName() {
        std::string name;
        if (!AtEnd() && line_[at_] == '"') {
            const std::size_t close = line_.find('"', at_ + 1);
            const std::size_t end = close == std::string_view::npos ? line_.size() : close;
            name = line_.substr(at_ + 1, end - at_ - 1);
            at_ = end == line_.size() ? end : end + 1;
        }
        while (!AtEnd() && !IsBlank(line_[at_])) name += line_[at_++];
        return name;
    }

    // One argument by the run time's rules (SplitLikeRunTime).
    std::string TakeArgument() {
        std::string argument;
        bool quoted = false;
        while (!AtEnd() && (quoted || !IsBlank(line_[at_]))) {
            if (line_[at_] == '\\') {
                const std::size_t first = at_;
                while (!AtEnd() && line_[at_] == '\\') ++at_;
                const std::size_t count = at_ - first;
                const bool beforeQuote = !AtEnd() && line_[at_] == '"';
                argument.append(beforeQuote ? count / 2 : count, '\\');
                if (beforeQuote && count % 2 == 1) argument += line_[at_++];
            } else if (line_[at_] == '"') {
                const bool doubled = quoted && at_ + 1 < line_.size() && line_[at_ + 1] == '"';
                if (doubled) argument += '"';
                quoted = doubled || !quoted;
                at_ += doubled ? 2 : 1;
            } else {
                argument += line_[at_++];
            }
        }
        return argument;
    }

    // At least one blank; false when there is none.
    bool SkipBlanks() {
        const std::size_t start = at_;
        while (!AtEnd() && IsBlank(line_[at_])) ++at_;
        return at_ > start;
    }

    // A word with no blank or quote in it.
    bool TakeWord(std::string& word) {
        const std::size_t start = at_;
        while (!AtEnd() && !IsBlank(line_[at_]) && line_[at_] != '"') ++at_;
        word = line_.substr(start, at_ - start);
        return !word.empty() && (AtEnd() || IsBlank(line_[at_]));
    }

    // A field between two quotes, with no quote inside.
    bool TakeQuoted(std::string& field) {
        if (AtEnd() || line_[at_] != '"') return false;
        const std::size_t close = line_.find('"', at_ + 1);
        if (close == std::string_view::npos) return false;
        field = line_.substr(at_ + 1, close - at_ - 1);
        at_ = close + 1;
        return AtEnd() || IsBlank(line_[at_]);
    }

private:
    std::string_view line_;
    std::size_t at_ = 0;
};

}  // namespace

bool SplitQuotedCommandLine(std::string_view line, std::vector<std::string>& fields, std::size_t& keyOffset) {
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    Cursor cursor(line);
    fields.assign(3, std::string());
    cursor.TakeProgramName();
    if (!cursor.SkipBlanks() || !cursor.TakeWord(fields[0])) return false;
    if (!cursor.SkipBlanks() || !cursor.TakeQuoted(fields[1])) return false;
    if (!cursor.SkipBlanks() || !cursor.TakeQuoted(fields[2])) return false;
    if (cursor.AtEnd()) {
        keyOffset = line.size();
        return true;
    }
    cursor.SkipBlanks();
    const std::size_t open = cursor.at();
    if (line[open] != '"' || line.size() - open < 2 || line.back() != '"') return false;
    keyOffset = open + 1;
    fields.emplace_back(line.substr(keyOffset, line.size() - 1 - keyOffset));
    return true;
}

std::vector<std::string> SplitLikeRunTime(std::string_view line, std::vector<std::size_t>& starts) {
    Cursor cursor(line);
    starts.assign(1, 0);
    std::vector<std::string> arguments{cursor.TakeProgramName()};
    for (cursor.SkipBlanks(); !cursor.AtEnd(); cursor.SkipBlanks()) {
        starts.push_back(cursor.at());
        arguments.push_back(cursor.TakeArgument());
    }
    return arguments;
}

}  // namespace tav
