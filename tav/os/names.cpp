#include "tav/os/names.h"

#include "tav/base/failure.h"
#include "tav/format/names.h"

namespace tav {

void CheckStoredName(const std::string& name, const std::string& path) {
    if (!IsSafeEntryName(name)) throw Failure(Exit::Damaged, "the file stores an unsafe name: " + path);
    RefuseNameThisSystemCannotHold(name, path);
}

}  // namespace tav
