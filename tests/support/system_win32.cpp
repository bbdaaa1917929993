#include <windows.h>

#include <random>
#include <stdexcept>

#include "tests/support/system.h"

namespace test {

std::filesystem::path MakeTemporaryFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("druvel-test-" + std::to_string(random() % 1000000));
        if (CreateDirectoryA(folder.string().c_str(), nullptr)) return folder;
    }
    throw std::runtime_error("cannot make a temporary folder");
}

void SetEnvironment(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
    _putenv_s(name, value != nullptr ? value : "");
}

// Windows programs are found by their file, so the program is copied there.
void InstallProgram(const std::filesystem::path& program, const std::filesystem::path& folder,
                    const std::string& name) {
    std::filesystem::remove(folder / (name + ".exe"));
    std::filesystem::copy_file(program, folder / (name + ".exe"));
}

const char kSearchPathSeparator = ';';

std::optional<int> SystemProfileInt(const std::string& path, const char* section, const char* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, path.c_str()));
}

}  // namespace test
