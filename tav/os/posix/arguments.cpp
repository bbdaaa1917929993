#include "tav/os/arguments.h"

namespace tav {

// A POSIX program gets its arguments one by one, exactly as given.
char** ProgramArguments(int& /*argc*/, char** argv) { return argv; }

}  // namespace tav
