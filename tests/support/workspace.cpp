#include "tests/support/workspace.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test {

TempFolder::TempFolder() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "druvel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::current_path(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    // Permissions a test took away must not stop the clean-up.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

FakeTool::FakeTool(const std::filesystem::path& folder)
    : log_((folder / "tool-runs.log").string()), release_((folder / "tool-release").string()) {
    std::filesystem::create_symlink(FAKE_TAV_PATH, folder / "TAV");
    ::setenv("FAKE_TAV_LOG", log_.c_str(), 1);
    Succeed();
}

void FakeTool::Succeed() {
    ::unsetenv("FAKE_TAV_EXIT");
    ::unsetenv("FAKE_TAV_SIGNAL");
    ::unsetenv("FAKE_TAV_HOLD");
    ::unsetenv("FAKE_TAV_NO_TARGET");
}

void FakeTool::SucceedWithoutTarget() {
    Succeed();
    ::setenv("FAKE_TAV_NO_TARGET", "1", 1);
}

void FakeTool::HoldEachRun() { ::setenv("FAKE_TAV_HOLD", release_.c_str(), 1); }

// Returns once the waiting run has taken the release, so that a second
// release always goes to the next run.
void FakeTool::Release() {
    WriteFile(release_, "");
    while (std::filesystem::exists(release_)) ::usleep(1000);
}

void FakeTool::ExitWith(int status) { ::setenv("FAKE_TAV_EXIT", std::to_string(status).c_str(), 1); }

void FakeTool::DieBySignal(int signal) { ::setenv("FAKE_TAV_SIGNAL", std::to_string(signal).c_str(), 1); }

std::vector<std::vector<std::string>> FakeTool::Runs() const {
    std::istringstream log(ReadFile(log_));
    std::vector<std::vector<std::string>> runs;
    int count;
    while (log >> count) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i) {
            std::size_t length;
            log >> length;
            log.get();  // the line ending after the length
            std::string argument(length, '\0');
            log.read(argument.data(), static_cast<std::streamsize>(length));
            arguments.push_back(argument);
        }
        runs.push_back(arguments);
    }
    return runs;
}

}  // namespace test
