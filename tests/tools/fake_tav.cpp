// Stands in for the encryption tool in tests. It appends the arguments it got
// to the file named by FAKE_TAV_LOG, then ends as the test asks:
//   FAKE_TAV_EXIT=n    exit with status n (default 0)
//   FAKE_TAV_SIGNAL=n  kill itself with signal n
//   FAKE_TAV_HOLD=path wait until `path` exists, then remove it and go on
// Like the real tool, a successful run leaves its target (the third
// argument) behind, unless FAKE_TAV_NO_TARGET is set.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (const char* log = std::getenv("FAKE_TAV_LOG")) {
        if (std::FILE* file = std::fopen(log, "ab")) {
            // One record per run: the argument count, then each argument as
            // its length and its bytes, so that any byte survives.
            std::fprintf(file, "%d\n", argc - 1);
            for (int i = 1; i < argc; ++i) {
                std::fprintf(file, "%zu\n", std::strlen(argv[i]));
                std::fwrite(argv[i], 1, std::strlen(argv[i]), file);
                std::fputc('\n', file);
            }
            std::fclose(file);
        }
    }
    if (const char* hold = std::getenv("FAKE_TAV_HOLD")) {
        while (::access(hold, F_OK) != 0) ::usleep(2000);
        std::remove(hold);
    }
    if (const char* signal = std::getenv("FAKE_TAV_SIGNAL")) std::raise(std::atoi(signal));
    const char* exitText = std::getenv("FAKE_TAV_EXIT");
    const int status = exitText != nullptr ? std::atoi(exitText) : 0;
    if (status == 0 && argc == 5 && std::getenv("FAKE_TAV_NO_TARGET") == nullptr) {
        if (std::FILE* target = std::fopen(argv[3], "wbx")) std::fclose(target);
    }
    return status;
}
