#include "platform/system/path.h"

namespace platform {

// POSIX paths have no drive letters, and a backslash is part of a name.
PathParts SplitPath(std::string_view path) { return SplitPath(path, false); }

char PathSeparator() { return '/'; }

}  // namespace platform
