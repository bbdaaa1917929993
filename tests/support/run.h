#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace test {

struct RunOptions {
    std::string input;          // fed to standard input, which is then closed
    long fileSizeLimit = -1;    // RLIMIT_FSIZE for the program, in bytes; -1 for none
};

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string errors;  // what it wrote to standard error
};

// Runs `program` with `arguments` and waits for it. On Windows the
// arguments are quoted as Druvel quotes its fields: none may hold a quote,
// except the last of four (the key), and no file-size limit is set.
RunResult Run(const std::string& program, const std::vector<std::string>& arguments, const RunOptions& options = {});

// Runs `program` with the whole command line `line` (its own name first),
// as Windows starts every program; Windows only.
RunResult RunCommandLine(const std::string& program, std::string line, const std::string& input = "");

struct ChildOptions {
    std::vector<int> ignoredSignals;  // set to SIG_IGN before the program starts, as nohup does
    bool terminal = false;            // standard streams on a new pseudo-terminal instead of pipes
    long fileSizeLimit = -1;          // as RunOptions's
    bool keepErrors = false;          // standard error to a pipe that Errors() reads
};

// A program running in the background (POSIX systems only; Run() runs on
// it too), its standard input a pipe (or a terminal) that the test writes
// to. The destructor kills what still runs.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& arguments, const ChildOptions& options = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void Write(const std::string& text);
    void CloseInput();
    // What it wrote to standard error until it closed it (keepErrors only).
    std::string Errors();
    // Reads the terminal's output until it holds `text`; false after a few seconds.
    bool WaitForOutput(const std::string& text);
    // True once the program sleeps in a system call (waiting for input).
    bool WaitUntilBlocked();
    void Signal(int signal);
    // The exit status, or 128 + signal.
    int Wait();
    // The terminal's current local modes (ECHO and the like); terminal children only.
    unsigned localModes() const;

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int terminal_ = -1;
    int errors_ = -1;
    std::string output_;
};

}  // namespace test
