#pragma once

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

// Runs `program` with `arguments` and waits for it.
RunResult Run(const std::string& program, const std::vector<std::string>& arguments, const RunOptions& options = {});

}  // namespace test
