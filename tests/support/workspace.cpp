#include "tests/support/workspace.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/system.h"

namespace test {

std::filesystem::path FsPath(const std::string& text) { return std::u8string(text.begin(), text.end()); }

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TempFolder::TempFolder() : previous_(std::filesystem::current_path()), path_(MakeTemporaryFolder()) {
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
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string EncryptedVector(const std::string& vectors, const std::string& name) {
    const std::filesystem::path plain(name);
    return vectors + "/" + (plain.parent_path() / plain.stem()).string() + "_" + plain.extension().string().substr(1) +
           ".TAV";
}

std::vector<MalformedVector> MalformedVectors(const std::string& vectors) {
    std::vector<MalformedVector> found;
    for (const std::string version : {"malformed-v1", "malformed-v2"}) {
        const std::string folder = vectors + "/" + version;
        std::istringstream manifest(ReadFile(folder + "/expected.txt"));
        std::string line;
        while (std::getline(manifest, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            MalformedVector vector;
            fields >> vector.path >> vector.status;
            vector.path = folder + "/" + vector.path;
            found.push_back(vector);
        }
    }
    return found;
}

FakeTool::FakeTool(const std::filesystem::path& folder)
    : log_((folder / "tool-runs.log").string()), release_((folder / "tool-release").string()) {
    InstallProgram(FAKE_TAV_PATH, folder, "TAV");
    SetEnvironment("FAKE_TAV_LOG", log_.c_str());
    Succeed();
}

void FakeTool::Succeed() {
    for (const char* name : {"FAKE_TAV_EXIT", "FAKE_TAV_SIGNAL", "FAKE_TAV_HOLD", "FAKE_TAV_NO_TARGET"}) {
        SetEnvironment(name, nullptr);
    }
}

void FakeTool::SucceedWithoutTarget() {
    Succeed();
    SetEnvironment("FAKE_TAV_NO_TARGET", "1");
}

void FakeTool::HoldEachRun() { SetEnvironment("FAKE_TAV_HOLD", release_.c_str()); }

// Returns once the waiting run has taken the release, so that a second
// release always goes to the next run.
void FakeTool::Release() {
    WriteFile(release_, "");
    while (std::filesystem::exists(release_)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FakeTool::ExitWith(int status) { SetEnvironment("FAKE_TAV_EXIT", std::to_string(status).c_str()); }

void FakeTool::DieBySignal(int signal) { SetEnvironment("FAKE_TAV_SIGNAL", std::to_string(signal).c_str()); }

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
