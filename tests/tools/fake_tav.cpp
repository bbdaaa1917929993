// Stands in for the encryption tool in tests. It appends the arguments it got
// (read as TAV reads them) to the file named by FAKE_TAV_LOG, then ends as
// the test asks:
//   FAKE_TAV_EXIT=n    exit with status n (default 0)
//   FAKE_TAV_SIGNAL=n  kill itself with signal n
//   FAKE_TAV_HOLD=path wait until `path` exists, then remove it and go on
// Like the real tool, a successful run leaves its target (the third
// argument) behind, unless FAKE_TAV_NO_TARGET is set. On Windows the whole
// command line the program got (in UTF-16, logged as generalised UTF-8, so
// that every unit that arrived is recorded, a lone surrogate too) is
// appended to FAKE_TAV_LOG.line too, and what is left of it once read as
// TAV reads it to FAKE_TAV_LOG.line-after; the target is made through the
// wide functions, as TAV makes it.
#ifdef _WIN32
#include <windows.h>

#include "platform/system/win32/wide.h"
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tav/os/arguments.h"

namespace {

void LogCommandLine([[maybe_unused]] const char* log, [[maybe_unused]] const char* suffix) {
#ifdef _WIN32
    if (std::FILE* file = std::fopen((std::string(log) + suffix).c_str(), "ab")) {
        std::fprintf(file, "%s\n", platform::TextFromWide(GetCommandLineW()).c_str());
        std::fclose(file);
    }
#endif
}

// One record per run: the argument count, then each argument as its length
// and its bytes, so that any byte survives.
void LogArguments(const char* log, int argc, char** argv) {
    if (std::FILE* file = std::fopen(log, "ab")) {
        std::fprintf(file, "%d\n", argc - 1);
        for (int i = 1; i < argc; ++i) {
            std::fprintf(file, "%u\n", static_cast<unsigned>(std::strlen(argv[i])));
            std::fwrite(argv[i], 1, std::strlen(argv[i]), file);
            std::fputc('\n', file);
        }
        std::fclose(file);
    }
}

// A new, empty file; nothing when something is there.
void MakeTarget(const char* path) {
#ifdef _WIN32
    std::wstring target;
    if (!platform::SystemPath(path, target)) return;
    const HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
#else
    if (std::FILE* target = std::fopen(path, "wbx")) std::fclose(target);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const char* log = std::getenv("FAKE_TAV_LOG");
    if (log != nullptr) LogCommandLine(log, ".line");
    try {
        argv = tav::ProgramArguments(argc, argv);
    } catch (...) {
        return 1;  // a line TAV refuses (it is not Unicode): refused alike
    }
    if (log != nullptr) {
        LogCommandLine(log, ".line-after");
        LogArguments(log, argc, argv);
    }
    if (const char* hold = std::getenv("FAKE_TAV_HOLD")) {
        // On Windows the file cannot be removed while the test still has it
        // open from writing it; the test waits for it to go.
        while (std::remove(hold) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (const char* signal = std::getenv("FAKE_TAV_SIGNAL")) std::raise(std::atoi(signal));
    const char* exitText = std::getenv("FAKE_TAV_EXIT");
    const int status = exitText != nullptr ? std::atoi(exitText) : 0;
    if (status == 0 && argc == 5 && std::getenv("FAKE_TAV_NO_TARGET") == nullptr) MakeTarget(argv[3]);
    return status;
}
