// The key agent on Windows: one instance of a named pipe that only this
// user may open and no other machine may reach, created by the first agent
// alone (a second one ends at once); one client at a time.
#include <windows.h>
#include <sddl.h>

#include <ctime>
#include <string>

#include "tav/base/failure.h"
#include "tav/os/key_agent.h"
#include "tav/os/key_cache_agent.h"
#include "tav/os/win32/agent_pipe.h"

namespace tav {

namespace {

HANDLE CreateAgentPipe(const std::string& name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(OwnerOnlyDescriptor().c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    const HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                         1, 4096, 4096, 0, &security);
    LocalFree(descriptor);
    return pipe;
}

// Waits up to a second for a client; true when one is connected.
bool AwaitClient(HANDLE pipe, HANDLE event) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    if (ConnectNamedPipe(pipe, &overlapped)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return true;
    if (error != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(event, 1000) != WAIT_OBJECT_0) CancelIo(pipe);
    DWORD ignored = 0;
    return GetOverlappedResult(pipe, &overlapped, &ignored, TRUE) != 0;
}

}  // namespace

int RunKeyAgent() {
    const std::string name = AgentPipeName();
    if (name.empty()) throw Failure(Exit::Usage, "the key agent cannot tell who its user is");
    const HANDLE pipe = CreateAgentPipe(name);
    if (pipe == INVALID_HANDLE_VALUE) return 0;  // another agent serves already
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    KeyAgent agent;
    do {
        if (AwaitClient(pipe, event)) {
            {
                PipeConnection client(pipe, true);
                agent.Handle(client);
                // Whatever the client has not read yet would be lost on
                // disconnecting: wait until it has closed its end.
                unsigned char rest;
                client.Receive(&rest, 1);
            }
            DisconnectNamedPipe(pipe);
        }
    } while (agent.ForgetIdle(std::time(nullptr)));
    CloseHandle(event);
    CloseHandle(pipe);
    return 0;
}

}  // namespace tav
