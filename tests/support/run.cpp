#include "tests/support/run.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace test {

RunResult Run(const std::string& program, const std::vector<std::string>& arguments, const RunOptions& options) {
    int in[2], err[2];
    if (::pipe(in) != 0 || ::pipe(err) != 0) std::abort();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(in[1]);
        ::close(err[0]);
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(err[1]);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    (void)!::write(in[1], options.input.data(), options.input.size());
    ::close(in[1]);
    std::signal(SIGPIPE, previous);

    RunResult result;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(err[0], buffer, sizeof buffer)) > 0) result.errors.append(buffer, static_cast<std::size_t>(got));
    ::close(err[0]);
    int status;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace test
