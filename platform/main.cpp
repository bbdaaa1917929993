// The program's entry: picks the window backend (DRUVEL_BACKEND names one;
// the first built in is the default) and runs the application object.
#include <cstdio>
#include <cstdlib>

#include "platform/afxwin.h"
#include "platform/backend.h"

int main(int argc, char** argv) {
    if (const char* name = std::getenv("DRUVEL_BACKEND"); name != nullptr && !platform::SelectBackend(name)) {
        std::fprintf(stderr, "Druvel: there is no window backend named '%s'\n", name);
        return 1;
    }
    if (!platform::ActiveBackend().Init(argc, argv)) return 1;
    return AfxWinMain(argc, argv);
}
