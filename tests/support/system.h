#pragma once

// What the test support needs of the operating system, one file per system.

#include <filesystem>
#include <optional>
#include <string>

namespace test {

// A new, empty, private folder under the system's temporary folder.
std::filesystem::path MakeTemporaryFolder();

// Sets (or, for nullptr, removes) a variable of this process's environment,
// which the programs it starts inherit.
void SetEnvironment(const char* name, const char* value);

// Makes `program` runnable as `name` in `folder`, as the tool is found there.
void InstallProgram(const std::filesystem::path& program, const std::filesystem::path& folder,
                    const std::string& name);

// What separates the folders of the PATH variable.
extern const char kSearchPathSeparator;

// What the system's own settings reader gives for `key` in `section` of
// the file at `path`; nothing where the system has no such reader.
std::optional<int> SystemProfileInt(const std::string& path, const char* section, const char* key, int fallback);

}  // namespace test
