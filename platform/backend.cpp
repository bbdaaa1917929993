#include "platform/backend.h"

#include <cstring>

namespace platform {

extern Backend g_headlessBackend;
#ifdef DRUVEL_WITH_QT
extern Backend g_qtBackend;
#endif
#ifdef DRUVEL_WITH_WIN32
extern Backend g_win32Backend;
#endif

namespace {

Backend* const kBackends[] = {
#ifdef DRUVEL_WITH_QT
    &g_qtBackend,
#endif
#ifdef DRUVEL_WITH_WIN32
    &g_win32Backend,
#endif
    &g_headlessBackend,
};

Backend* g_active = kBackends[0];

}  // namespace

bool SelectBackend(const std::string& name) {
    for (Backend* backend : kBackends) {
        if (name == backend->name) {
            g_active = backend;
            return true;
        }
    }
    return false;
}

Backend& ActiveBackend() { return *g_active; }

}  // namespace platform
