// On Windows a failure is shown where it happened: when TAV has a console
// window of its own (Druvel starts it so, and a double-clicked
// self-decrypting program gets one), that window closes with the process,
// before anyone could read the message. The message goes to the notice
// window instead (notice_window.cpp), and TAV ends at once. Where that
// window cannot be had, the console stays open until a key is pressed or
// some seconds have passed. Progress needs nothing more: it is on that
// console already.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "tav/os/notify.h"
#include "tav/os/win32/agent_pipe.h"
#include "tav/os/win32/notice.h"
#include "tav/os/terminal.h"

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

// True once the notice window has shown `message`.
bool DeliverNotice(const std::string& message) {
    const std::unique_ptr<PipeConnection> window =
        ConnectToAgent(AgentPipeName(kNoticePipePurpose), kNoticeWindowArgument);
    if (window == nullptr) return false;
    const auto size = static_cast<std::uint32_t>(std::min(message.size(), kMaxNoticeSize));
    unsigned char shown = 0;
    return window->Send(&size, sizeof size) && window->Send(message.data(), size) && window->Receive(&shown, 1) &&
           shown == 1;
}

}  // namespace

bool NotificationsAvailable() { return !NotificationsTurnedOff() && OwnsConsole(); }

std::uint32_t ShowNotification(const std::string& body, std::uint32_t /*replaces*/, bool failure) {
    if (!failure) return 0;
    // A window being closed just as the message arrives does not show it:
    // then a new one is started.
    if (DeliverNotice(body) || DeliverNotice(body)) return 0;
    WriteError("Press a key to close this window.\n");
    WaitForKeyOrTimeout(kKeepOpenMilliseconds);
    return 0;
}

}  // namespace tav
