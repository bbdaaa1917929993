#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system/process.h"

extern char** environ;

namespace platform {

namespace {

// Linux takes at most 32 pages for one argument, the closing NUL included.
constexpr std::size_t kMaxArgumentSize = 32 * 4096;

WaitPump g_pump = nullptr;

// Waits for `child`, keeping the pump going when there is one.
bool WaitForChild(pid_t child, int& status) {
    for (;;) {
        const pid_t done = ::waitpid(child, &status, g_pump != nullptr ? WNOHANG : 0);
        if (done == child) return true;
        if (done < 0 && errno != EINTR) return false;
        if (done == 0) g_pump();
    }
}

}  // namespace

void SetWaitPump(WaitPump pump) { g_pump = pump; }

int RunProgramAndWait(const std::string& name, const std::vector<std::string>& arguments,
                      const std::string& /*commandText*/) {
    const std::string path = "./" + name;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child;
    if (::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;

    int status;
    if (!WaitForChild(child, status)) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Every argument within the kernel's limit for one, and the arguments and
// the environment together, with their pointers, within ARG_MAX.
bool CommandFitsSystem(const std::string& name, const std::vector<std::string>& arguments,
                       const std::string& /*commandText*/) {
    std::size_t total = name.size() + 1 + sizeof(char*);
    for (const std::string& argument : arguments) {
        if (argument.size() + 1 > kMaxArgumentSize) return false;
        total += argument.size() + 1 + sizeof(char*);
    }
    for (char** variable = environ; *variable != nullptr; ++variable) total += std::strlen(*variable) + 1 + sizeof(char*);
    const long limit = ::sysconf(_SC_ARG_MAX);
    return limit <= 0 || total < static_cast<std::size_t>(limit);
}

}  // namespace platform
