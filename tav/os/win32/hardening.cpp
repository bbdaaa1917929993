// Guards for the run on Windows. There are no signals: Ctrl-C, Ctrl-Break,
// closing the console window, logging off and shutting down reach a console
// control handler, on a thread of its own, which removes the pending
// temporary file or folder and ends the process. Crash dialogs are off, so a fault
// ends the run at once instead of waiting for a click.
#include <windows.h>

#include <mutex>
#include <string>

#include "tav/os/files.h"
#include "tav/os/hardening.h"
#include "tav/os/win32/files.h"

namespace tav {

namespace {

std::recursive_mutex g_pendingLock;
std::wstring g_pending;  // as the system takes it; guarded by g_pendingLock

// Ends the run as a break ends a console program, never with a status that
// reads as success. The lock is kept: nothing registers a new temporary
// before the process is gone.
BOOL WINAPI CleanUpOnBreak(DWORD /*event*/) {
    g_pendingLock.lock();
    if (!g_pending.empty()) {
        const DWORD attributes = GetFileAttributesW(g_pending.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveTreeWide(g_pending);
        } else {
            DeleteFileW(g_pending.c_str());
        }
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}

}  // namespace

void HardenProcess() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetConsoleCtrlHandler(&CleanUpOnBreak, TRUE);
}

void SetPendingTemporary(const char* path) {
    std::lock_guard<std::recursive_mutex> lock(g_pendingLock);
    g_pending = path != nullptr ? SystemPath(path) : std::wstring();
}

void HoldSignals() { g_pendingLock.lock(); }

void ReleaseSignals() {
    const DWORD error = GetLastError();
    g_pendingLock.unlock();
    SetLastError(error);
}

}  // namespace tav
