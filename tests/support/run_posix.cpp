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

RunResult Run(const std::string& program, const std::vector<std::string>& arguments, const RunOptions& options) {
    const ChildOptions childOptions{
        .ignoredSignals = {}, .terminal = false, .fileSizeLimit = options.fileSizeLimit, .keepErrors = true};
    Child child(program, arguments, childOptions);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    child.Write(options.input);
    child.CloseInput();
    std::signal(SIGPIPE, previous);
    RunResult result;
    result.errors = child.Errors();
    result.status = child.Wait();
    return result;
}

Child::Child(const std::string& program, const std::vector<std::string>& arguments, const ChildOptions& options) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int in[2] = {-1, -1}, err[2] = {-1, -1};
    if ((!options.terminal && ::pipe(in) != 0) || (options.keepErrors && ::pipe(err) != 0)) std::abort();
    pid_ = options.terminal ? ::forkpty(&terminal_, nullptr, nullptr, nullptr) : ::fork();
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
        if (in[0] >= 0) ::dup2(in[0], STDIN_FILENO);
        if (err[1] >= 0) ::dup2(err[1], STDERR_FILENO);
        for (const int end : {in[0], in[1], err[0], err[1]}) ::close(end);  // -1 where there is no pipe
        const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
        if (options.fileSizeLimit >= 0) ::setrlimit(RLIMIT_FSIZE, &limit);
        for (const int signal : options.ignoredSignals) std::signal(signal, SIG_IGN);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(err[1]);
    input_ = in[1];
    errors_ = err[0];
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    CloseInput();
    for (const int fd : {terminal_, errors_}) ::close(fd);
}

void Child::Write(const std::string& text) {
    const int fd = terminal_ >= 0 ? terminal_ : input_;
    (void)!::write(fd, text.data(), text.size());
}

void Child::CloseInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

std::string Child::Errors() {
    std::string errors;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(errors_, buffer, sizeof buffer)) > 0) errors.append(buffer, static_cast<std::size_t>(got));
    return errors;
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
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

unsigned Child::localModes() const {
    termios modes{};
    ::tcgetattr(terminal_, &modes);
    return static_cast<unsigned>(modes.c_lflag);
}

}  // namespace test
