#pragma once

#include <string>
#include <string_view>

namespace platform {

// The four pieces of a path, split the way the Windows C run time splits it.
struct PathParts {
    std::string drive;  // "C:" or empty
    std::string dir;    // up to and including the last separator
    std::string fname;  // base name
    std::string ext;    // from the last dot of the name, dot included; empty without a dot
};

// Splits `path`: "/" and "\" both separate folders; a leading letter and
// colon is a drive only when `driveLetters` is set.
PathParts SplitPath(std::string_view path, bool driveLetters);

// Splits by this platform's rules (drive letters on Windows only).
PathParts SplitPath(std::string_view path);

// Compares two strings ignoring the case of ASCII letters only; other bytes
// compare as unsigned values. Negative, zero or positive like strcmp.
int StrICmp(std::string_view a, std::string_view b);

// The separator this platform puts between a folder and a name.
char PathSeparator();

// `name` in `folder`: one separator between them, none added when the folder
// ends in one already (a root), and `name` alone for an empty folder.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace platform
