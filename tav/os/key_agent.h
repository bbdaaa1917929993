#pragma once

#include <array>
#include <cstddef>
#include <ctime>
#include <memory>
#include <vector>

#include "tav/base/secure_buffer.h"
#include "tav/format/format.h"
#include "tav/os/key_agent_protocol.h"

// The key agent's protocol on both of its ends, over whatever connection
// each system gives (a socket, a named pipe); not for use elsewhere.
namespace tav {

// One connection between TAV and its agent. Every send and receive gives
// up after two seconds.
class AgentConnection {
public:
    virtual ~AgentConnection() = default;
    // All `size` bytes, or false when the other end is gone or too slow.
    virtual bool Send(const void* data, std::size_t size) = 0;
    virtual bool Receive(void* data, std::size_t size) = 0;
    // True when the other end is a process of this user.
    virtual bool PeerIsThisUser() = 0;
};

// This user's agent, started when none answers; nullptr when there is none
// to be had. Each system has its own.
std::unique_ptr<AgentConnection> ConnectToKeyAgent();

// The client's side: asks for a master key; false when the agent refuses
// or stops answering.
bool AskKeyAgent(AgentConnection& agent, agent::Kind kind, const SecureBuffer& key, const KdfParams& kdf,
                 std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master);

// The agent's side: what it remembers, and the answer to one request.
class KeyAgent {
public:
    KeyAgent();
    ~KeyAgent();
    KeyAgent(const KeyAgent&) = delete;
    KeyAgent& operator=(const KeyAgent&) = delete;

    void Handle(AgentConnection& client);
    // Forgets what was not used for the idle time; false once nothing was
    // asked for that long, when the agent is done.
    bool ForgetIdle(std::time_t now);

private:
    struct Entry;
    std::unique_ptr<Entry> Derive(AgentConnection& client, const SecureBuffer& key, const SecureBuffer& id,
                                  const KdfParams& kdf, const std::array<unsigned char, kSaltSize>& salt);
    void Keep(std::unique_ptr<Entry> entry);
    Entry* Find(const SecureBuffer& id, const KdfParams& kdf, const std::array<unsigned char, kSaltSize>* salt);

    void Answer(AgentConnection& client);

    SecureBuffer secret_;
    std::time_t lastRequest_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace tav
