// The key agent's client on Windows: the agent's named pipe, opened only
// on this machine and only when the process at the other end runs as this
// user; an agent is started when none listens.
#include "tav/os/key_cache_agent.h"
#include "tav/os/win32/agent_pipe.h"

namespace tav {

std::unique_ptr<AgentConnection> ConnectToKeyAgent() {
    return ConnectToAgent(AgentPipeName("keys"), kKeyAgentArgument);
}

}  // namespace tav
