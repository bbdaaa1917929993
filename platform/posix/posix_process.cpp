#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/process.h"

extern char** environ;

namespace platform {

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
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace platform
