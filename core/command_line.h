#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/options.h"

// The most rounds the tool takes in its operation word.
inline constexpr std::int32_t kMaxToolRounds = 64;

// How the tool is to be run for one file: the operation word and the three
// fields that follow it. Fields are kept as they are; nothing is escaped.
struct CommandLine {
    std::string operation;  // "e2", "e3+", "a1", "D" or "d"
    std::string source;
    std::string target;
    std::string key;

    // The command string: the operation word, a blank and the three fields,
    // each in double quotes and separated by single blanks.
    std::string text() const;

    // {operation, source, target, key}, for starting the tool with a vector.
    std::vector<std::string> arguments() const;
};

// True when `path` names an encrypted file: its extension is ".TAV" in any case.
bool IsEncryptedFileName(std::string_view path);

// Decides the direction for `source` from its extension, names the target
// next to it and fills `out` with the tool's command for that file.
void BuildCommandLine(const std::string& source, const Options& options, const std::string& key,
                      CommandLine& out);
