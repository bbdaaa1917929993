// A batch of small files through Druvel's file jobs, as a drop of many files
// runs it: every file one TAV run, with the key cache and without; then a
// batch of failures, the encrypted files dropped again while their
// originals are there (each refused, the target existing), with TAV's
// notices on and off. Built for Linux and for Windows (where it runs
// TAV.exe as Druvel.exe does, in a console of its own).
//   batch_bench path/to/TAV [files] [files-without-cache] [failures]
// Prints: name, files, seconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/file_jobs.h"
#include "core/options.h"

namespace {

namespace fs = std::filesystem;

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    ::setenv(name, value, 1);
#endif
}

// A key of this run's own, so that every run pays one key derivation even
// where an agent of an earlier run is still there.
const std::string& BatchKey() {
    static const std::string key = "batch key " + std::to_string(std::random_device()());
    return key;
}

double Batch(const fs::path& folder, int files, const char* label) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::string data(4096, 'x');
    for (int i = 0; i < files; ++i) std::ofstream(folder / ("f" + std::to_string(i) + ".txt")) << data;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < files; ++i) ProcessFile((folder / ("f" + std::to_string(i) + ".txt")).string(), BatchKey());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int i = 0; i < files; ++i) {
        if (!fs::exists(folder / ("f" + std::to_string(i) + "_txt.TAV"))) std::fprintf(stderr, "missing output %d\n", i);
    }
    std::printf("%s %d %.2f\n", label, files, seconds);
    return seconds;
}

// The first `files` encrypted files of a batch decrypted again next to
// their originals: each run fails.
void Failures(const fs::path& folder, int files, const char* notify, const char* label) {
    SetEnvironment("TAV_NOTIFY", notify);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < files; ++i) ProcessFile((folder / ("f" + std::to_string(i) + "_txt.TAV")).string(), BatchKey());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %d %.2f\n", label, files, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const fs::path tav = fs::absolute(argv[1]);
    const int files = argc > 2 ? std::atoi(argv[2]) : 100;
    const int uncached = argc > 3 ? std::atoi(argv[3]) : 5;
    const int failures = argc > 4 ? std::min(std::atoi(argv[4]), files) : 0;
    const fs::path work = fs::temp_directory_path() / ("druvel-batch-" + std::to_string(std::random_device()()));
    fs::create_directories(work / "runtime");
    fs::permissions(work / "runtime", fs::perms::owner_all);
    fs::copy_file(tav, work / tav.filename());  // "TAV", or "TAV.exe" on Windows
    fs::current_path(work);
    g_options = Options{2, 0, 0, 1, 0};  // Druvel's start values
    SetEnvironment("XDG_RUNTIME_DIR", (work / "runtime").string().c_str());
    SetEnvironment("TAV_KEY_CACHE", "on");
    Batch(work / "cached", files, "batch-with-cache");
    if (failures > 0) {
        Failures(work / "cached", failures, "on", "failures-with-notices");
        Failures(work / "cached", failures, "off", "failures-without-notices");
    }
    SetEnvironment("TAV_KEY_CACHE", "off");
    Batch(work / "uncached", uncached, "batch-without-cache");
    fs::current_path(work.root_path());
    // On Linux the agent sees its socket go and leaves. On Windows it runs
    // from the copy of TAV.exe, which stays in use until the agent leaves
    // (a minute after its last request): then the folder stays behind.
    std::error_code inUse;
    fs::remove_all(work, inUse);
    if (inUse) std::fprintf(stderr, "left behind while the key agent runs: %s\n", work.string().c_str());
    return 0;
}
