// Starting the tool on Windows: the program file in the current directory
// only (never one found on the search path), with one command line made
// the way the C run time's _spawnl makes it, its arguments joined by
// blanks: "TAV" and the command text. The tool gets a console window of its
// own, shown without taking the keyboard from Druvel's window, which keeps
// handling its messages while the tool runs.
#include <windows.h>

#include "platform/system/file.h"
#include "platform/system/path.h"
#include "platform/system/process.h"

namespace platform {

namespace {

WaitPump g_pump = nullptr;

DWORD WaitForProcess(HANDLE process) {
    while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        if (g_pump == nullptr) {
            WaitForSingleObject(process, INFINITE);
        } else {
            g_pump();
        }
    }
    DWORD status = 0;
    return GetExitCodeProcess(process, &status) ? status : static_cast<DWORD>(-1);
}

}  // namespace

void SetWaitPump(WaitPump pump) { g_pump = pump; }

int RunProgramAndWait(const std::string& name, const std::vector<std::string>& /*arguments*/,
                      const std::string& commandText) {
    const std::string folder = CurrentFolder();
    if (folder.empty()) return -1;
    const std::string program = JoinPath(folder, name + ".exe");
    std::string commandLine = name + " " + commandText;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    const DWORD status = WaitForProcess(process.hProcess);
    CloseHandle(process.hProcess);
    // Exit codes above INT_MAX (a crash's NTSTATUS) stay non-zero as negatives.
    return static_cast<int>(status);
}

// CreateProcess takes a command line of at most 32767 characters, the
// closing NUL included.
bool CommandFitsSystem(const std::string& name, const std::vector<std::string>& /*arguments*/,
                       const std::string& commandText) {
    return name.size() + 1 + commandText.size() < 32767;
}

}  // namespace platform
