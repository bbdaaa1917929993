// How long TAV's key stays readable in /proc/<pid>/cmdline after the
// program starts: starts TAV with a key argument many times, reads its
// command line as fast as one process can, and prints, in microseconds
// from the first read that showed TAV itself (the exec done), the median
// and the longest time the key was still seen there, and in how many runs
// it was seen at all.
// Usage: cmdline_window <TAV> [runs]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadCommandLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return "";
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "";
}

// Microseconds from the exec to the last read that still held the key; -1
// when no read after the exec held it.
long OneRun(const char* tav, const std::string& key) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int nothing = ::open("/dev/null", O_WRONLY);
        ::dup2(nothing, STDERR_FILENO);
        ::execl(tav, "TAV", "e1", "/nonexistent/source", "/nonexistent/target", key.c_str(), nullptr);
        ::_exit(127);
    }
    const std::string path = "/proc/" + std::to_string(child) + "/cmdline";
    Clock::time_point execSeen{};
    long last = -1;
    for (;;) {
        int status;
        if (::waitpid(child, &status, WNOHANG) == child) break;
        const std::string line = ReadCommandLine(path);
        if (line.rfind("TAV", 0) != 0) continue;  // not exec'd yet
        const Clock::time_point now = Clock::now();
        if (execSeen == Clock::time_point{}) execSeen = now;
        if (line.find(key) != std::string::npos) {
            last = std::chrono::duration_cast<std::chrono::microseconds>(now - execSeen).count();
        }
    }
    return last;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: cmdline_window <TAV> [runs]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::string key = "a-key-to-look-for-4711";
    std::vector<long> windows;
    for (int i = 0; i < runs; ++i) {
        const long window = OneRun(argv[1], key);
        if (window >= 0) windows.push_back(window);
    }
    std::sort(windows.begin(), windows.end());
    const long median = windows.empty() ? 0 : windows[windows.size() / 2];
    const long longest = windows.empty() ? 0 : windows.back();
    std::printf("key seen in %zu of %d runs; window after exec: median %ld us, longest %ld us\n", windows.size(), runs,
                median, longest);
    return 0;
}
