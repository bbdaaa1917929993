#pragma once

#include <windows.h>

#include <string>

#include "tav/os/key_agent.h"

// The key agent's named pipe, for both of its ends; not for use elsewhere.
namespace tav {

// "\\.\pipe\TAV-keys-" and this user's SID, or nothing when the SID cannot
// be read.
std::string AgentPipeName();

// The security descriptor that admits this user alone ("D:P(A;;GA;;;SID)").
std::string OwnerOnlyDescriptor();

// True when the process `pid` runs as this user.
bool ProcessIsThisUser(DWORD pid);

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

}  // namespace tav
