// The key agent's client on Windows: the agent's named pipe, opened only
// on this machine and only when the process at the other end runs as this
// user; an agent is started when none listens.
#include <windows.h>

#include <memory>
#include <string>

#include "tav/os/files.h"
#include "tav/os/key_cache_agent.h"
#include "tav/os/win32/agent_pipe.h"

namespace tav {

namespace {

// The agent may not impersonate this process beyond learning who it is.
HANDLE OpenPipe(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

// Starts this program as the agent, detached, in the system's folder so
// that it holds no folder of the user's busy, inheriting nothing (not even
// standard handles, which would keep whoever reads the caller's output waiting).
bool StartAgent() {
    std::string line = "\"" + OwnProgramPath() + "\" " + kKeyAgentArgument;
    char folder[MAX_PATH];
    if (GetSystemDirectoryA(folder, MAX_PATH) == 0) return false;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // none: nothing of the caller's stays open in the agent
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(OwnProgramPath().c_str(), line.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, folder, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The pipe, waiting up to two seconds while the agent starts or serves
// someone else (then the caller derives the key itself).
HANDLE OpenAgentPipe(const std::string& name) {
    HANDLE pipe = OpenPipe(name);
    bool started = false;
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (pipe == INVALID_HANDLE_VALUE && GetTickCount64() < deadline) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND && !started) {
            if (!StartAgent()) return INVALID_HANDLE_VALUE;
            started = true;
        } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) {
            return INVALID_HANDLE_VALUE;
        }
        if (!WaitNamedPipeA(name.c_str(), 100)) Sleep(50);
        pipe = OpenPipe(name);
    }
    return pipe;
}

}  // namespace

std::unique_ptr<AgentConnection> ConnectToKeyAgent() {
    const std::string name = AgentPipeName();
    if (name.empty()) return nullptr;
    const HANDLE pipe = OpenAgentPipe(name);
    if (pipe == INVALID_HANDLE_VALUE) return nullptr;
    auto agent = std::make_unique<PipeConnection>(pipe, false);
    if (!agent->PeerIsThisUser()) return nullptr;
    return agent;
}

}  // namespace tav
