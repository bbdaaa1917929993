#include "tav/os/names.h"

namespace tav {

// A POSIX folder holds any safe name: any bytes but "/" and NUL.
void RefuseNameThisSystemCannotHold(const std::string& /*name*/, const std::string& /*path*/) {}

}  // namespace tav
