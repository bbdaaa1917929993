#include <stdlib.h>

#include <stdexcept>

#include "tests/support/system.h"

namespace test {

std::filesystem::path MakeTemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "druvel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void SetEnvironment(const char* name, const char* value) {
    if (value == nullptr) {
        ::unsetenv(name);
    } else {
        ::setenv(name, value, 1);
    }
}

void InstallProgram(const std::filesystem::path& program, const std::filesystem::path& folder,
                    const std::string& name) {
    std::filesystem::remove(folder / name);
    std::filesystem::create_symlink(program, folder / name);
}

const char kSearchPathSeparator = ':';

std::optional<int> SystemProfileInt(const std::string&, const char*, const char*, int) { return std::nullopt; }

}  // namespace test
