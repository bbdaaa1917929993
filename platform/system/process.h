#pragma once

#include <string>
#include <vector>

namespace platform {

// While a program runs, `pump` (when set) is called over and over to keep
// handling the user's input; without one the wait simply blocks.
using WaitPump = void (*)();
void SetWaitPump(WaitPump pump);

// Starts the program `name` from the current directory (never from the
// search path) and waits for it to end.
// `arguments` go to the program as they are, one vector element per argument
// (argv[0] is `name`); `commandText` is the same arguments as one quoted
// string, for platforms whose programs receive a single command line.
// Returns the exit status, -1 when the program could not be started, and a
// non-zero status (128 + signal) when it was ended by a signal.
int RunProgramAndWait(const std::string& name, const std::vector<std::string>& arguments,
                      const std::string& commandText);

// True when RunProgramAndWait can hand the program `name` these arguments:
// the system limits the length of one argument and of a whole command line.
bool CommandFitsSystem(const std::string& name, const std::vector<std::string>& arguments,
                       const std::string& commandText);

}  // namespace platform
