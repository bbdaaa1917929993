#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "tav/os/key_agent.h"

// The named pipes of TAV's per-user agents (the key agent, the notice
// window), for both of their ends; not for use elsewhere. Each is one pipe
// instance that only this user may open and no other machine may reach.
namespace tav {

// "\\.\pipe\TAV-<purpose>-" and this user's SID, or nothing when the SID
// cannot be read.
std::string AgentPipeName(const char* purpose);

// The agent's end, created by the first agent alone: INVALID_HANDLE_VALUE
// when another one serves already.
HANDLE CreateAgentPipe(const std::string& name);

// Waits up to `milliseconds` for a client; true when one is connected.
bool AwaitClient(HANDLE pipe, HANDLE event, DWORD milliseconds);

// One end of a connected pipe, opened for overlapped I/O: every send and
// receive waits two seconds at most. The client's end is closed with the
// connection; the agent's end stays open for the next client.
class PipeConnection : public AgentConnection {
public:
    PipeConnection(HANDLE pipe, bool agentSide);
    ~PipeConnection() override;
    PipeConnection(const PipeConnection&) = delete;
    PipeConnection& operator=(const PipeConnection&) = delete;

    bool Send(const void* data, std::size_t size) override;
    bool Receive(void* data, std::size_t size) override;
    bool PeerIsThisUser() override;

private:
    bool Transfer(void* data, std::size_t size, bool sending);

    HANDLE pipe_;
    HANDLE event_;
    bool agentSide_;
};

// The client's end, opened only when the agent at the other end runs as
// this user. When none listens, this program is started as the agent
// (`TAV <argument>`, detached) and given two seconds to listen; busy or
// not started by then, there is none to be had (nullptr).
std::unique_ptr<PipeConnection> ConnectToAgent(const std::string& name, const char* argument);

}  // namespace tav
