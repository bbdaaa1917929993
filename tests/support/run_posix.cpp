#include "tests/support/run.h"

#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace test {

namespace {

std::vector<char*> ArgumentVector(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int StatusOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus); }

}  // namespace

RunResult Run(const std::string& program, const std::vector<std::string>& arguments, const RunOptions& options) {
    int in[2], err[2];
    if (::pipe(in) != 0 || ::pipe(err) != 0) std::abort();
    std::vector<char*> argv = ArgumentVector(program, arguments);

    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(in[1]);
        ::close(err[0]);
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
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
    result.status = StatusOf(status);
    return result;
}

Child::Child(const std::string& program, const std::vector<std::string>& arguments, const ChildOptions& options) {
    std::vector<char*> argv = ArgumentVector(program, arguments);
    int in[2] = {-1, -1};
    if (options.terminal) {
        pid_ = ::forkpty(&terminal_, nullptr, nullptr, nullptr);
    } else {
        if (::pipe(in) != 0) std::abort();
        pid_ = ::fork();
    }
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
        if (!options.terminal) {
            ::dup2(in[0], STDIN_FILENO);
            ::close(in[1]);
        }
        for (const int signal : options.ignoredSignals) std::signal(signal, SIG_IGN);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (!options.terminal) {
        ::close(in[0]);
        input_ = in[1];
    }
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    CloseInput();
    if (terminal_ >= 0) ::close(terminal_);
}

void Child::Write(const std::string& text) {
    const int fd = terminal_ >= 0 ? terminal_ : input_;
    (void)!::write(fd, text.data(), text.size());
}

void Child::CloseInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

bool Child::WaitForOutput(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (output_.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pollfd readable{terminal_, POLLIN, 0};
        if (::poll(&readable, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t got = ::read(terminal_, buffer, sizeof buffer);
        if (got <= 0) return false;
        output_.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

bool Child::WaitUntilBlocked() {
    const std::string stat = "/proc/" + std::to_string(pid_) + "/stat";
    for (int i = 0; i < 1000; ++i) {
        std::ifstream file(stat);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::size_t close = text.rfind(')');
        if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S') return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void Child::Signal(int signal) { ::kill(pid_, signal); }

int Child::Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return StatusOf(status);
}

unsigned Child::localModes() const {
    termios modes{};
    ::tcgetattr(terminal_, &modes);
    return static_cast<unsigned>(modes.c_lflag);
}

}  // namespace test
