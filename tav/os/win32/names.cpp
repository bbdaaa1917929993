#include "tav/os/names.h"

#include "tav/base/failure.h"
#include "tav/format/names.h"

namespace tav {

// Windows would store some names as another entry than the one named (a
// stream, a device, a drive's folder, the name without its trailing dot):
// such a name is refused, never changed.
void RefuseNameThisSystemCannotHold(const std::string& name, const std::string& path) {
    if (!IsWindowsName(name)) throw Failure(Exit::Io, "Windows cannot hold this name: " + path);
}

}  // namespace tav
