// On Windows a failure is shown where it happened: when TAV has a console
// window of its own (Druvel starts it so, and a double-clicked
// self-decrypting program gets one), the window would close with the
// process before anyone could read the message, so it stays open until a
// key is pressed or some seconds have passed. Progress needs nothing more:
// it is on that console already.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tav/os/notify.h"

namespace tav {

namespace {

constexpr DWORD kKeepOpenMilliseconds = 15000;

// True when no other process shares this console: it was made for TAV.
bool OwnsConsole() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForKeyOrTimeout(DWORD milliseconds) {
    const HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) return Sleep(milliseconds);
    FlushConsoleInputBuffer(input);
    const DWORD end = GetTickCount() + milliseconds;
    for (DWORD now = GetTickCount(); static_cast<LONG>(end - now) > 0; now = GetTickCount()) {
        if (WaitForSingleObject(input, end - now) != WAIT_OBJECT_0) break;
        INPUT_RECORD record;
        DWORD got = 0;
        if (!ReadConsoleInputA(input, &record, 1, &got) || got == 0) break;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
    }
    CloseHandle(input);
}

}  // namespace

bool NotificationsAvailable() {
    const char* choice = std::getenv("TAV_NOTIFY");
    return !(choice != nullptr && std::strcmp(choice, "off") == 0) && OwnsConsole();
}

std::uint32_t ShowNotification(const std::string& /*body*/, std::uint32_t /*replaces*/, bool failure) {
    if (!failure) return 0;
    std::fputs("Press a key to close this window.\n", stderr);
    std::fflush(stderr);
    WaitForKeyOrTimeout(kKeepOpenMilliseconds);
    return 0;
}

}  // namespace tav
