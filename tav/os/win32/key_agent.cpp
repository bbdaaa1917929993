// The key agent on Windows: one instance of a named pipe that only this
// user may open and no other machine may reach, created by the first agent
// alone (a second one ends at once); one client at a time.
#include <windows.h>

#include <ctime>
#include <string>

#include "tav/base/failure.h"
#include "tav/os/key_agent.h"
#include "tav/os/key_cache_agent.h"
#include "tav/os/win32/agent_pipe.h"

namespace tav {

int RunKeyAgent() {
    const std::string name = AgentPipeName("keys");
    if (name.empty()) throw Failure(Exit::Usage, "the key agent cannot tell who its user is");
    const HANDLE pipe = CreateAgentPipe(name);
    if (pipe == INVALID_HANDLE_VALUE) return 0;  // another agent serves already
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    KeyAgent agent;
    do {
        if (AwaitClient(pipe, event, 1000)) {
            PipeConnection client(pipe, true);
            agent.Handle(client);
            // Whatever the client has not read yet would be lost on
            // disconnecting: wait until it has closed its end.
            unsigned char rest;
            client.Receive(&rest, 1);
        }
        DisconnectNamedPipe(pipe);  // also after a client that left before it was served
    } while (agent.ForgetIdle(std::time(nullptr)));
    CloseHandle(event);
    CloseHandle(pipe);
    return 0;
}

}  // namespace tav
