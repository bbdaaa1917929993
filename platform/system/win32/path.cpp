#include "platform/system/path.h"

namespace platform {

// Windows paths may start with a drive letter.
PathParts SplitPath(std::string_view path) { return SplitPath(path, true); }

char PathSeparator() { return '\\'; }

}  // namespace platform
