// Starting the tool on Windows: the program file in the current directory
// only (never one found on the search path), with one command line made
// the way the C run time's _spawnl makes it, its arguments joined by
// blanks: "TAV" and the command text. The line and the program's path go
// to the system in UTF-16, converted exactly from the program's text, so
// the tool gets every character of the key and the names as they were.
// The tool gets a console window of its own, shown without taking the
// keyboard from Druvel's window, which keeps handling its messages while
// the tool runs.
#include <windows.h>

#include "platform/system/file.h"
#include "platform/system/path.h"
#include "platform/system/process.h"
#include "platform/system/win32/wide.h"

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

// The one line the program gets, its own name first.
bool CommandLineOf(const std::string& name, const std::string& commandText, std::wstring& line) {
    return WideFromText(name + " " + commandText, line);
}

}  // namespace

void SetWaitPump(WaitPump pump) { g_pump = pump; }

int RunProgramAndWait(const std::string& name, const std::vector<std::string>& /*arguments*/,
                      const std::string& commandText) {
    const std::string folder = CurrentFolder();
    if (folder.empty()) return -1;
    std::wstring program, commandLine;
    if (!WideFromText(JoinPath(folder, name + ".exe"), program) || !CommandLineOf(name, commandText, commandLine)) {
        return -1;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    const DWORD status = WaitForProcess(process.hProcess);
    CloseHandle(process.hProcess);
    // Exit codes above INT_MAX (a crash's NTSTATUS) stay non-zero as negatives.
    return static_cast<int>(status);
}

// CreateProcess takes a command line of at most 32767 UTF-16 units, the
// closing NUL included.
bool CommandFitsSystem(const std::string& name, const std::vector<std::string>& /*arguments*/,
                       const std::string& commandText) {
    std::wstring commandLine;
    return CommandLineOf(name, commandText, commandLine) && commandLine.size() < 32767;
}

}  // namespace platform
