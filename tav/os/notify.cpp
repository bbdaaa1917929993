#include "tav/os/notify.h"

#include <cstdlib>
#include <cstring>

namespace tav {

bool NotificationsTurnedOff() {
    const char* choice = std::getenv("TAV_NOTIFY");
    return choice != nullptr && (std::strcmp(choice, "off") == 0 || std::strcmp(choice, "0") == 0);
}

}  // namespace tav
