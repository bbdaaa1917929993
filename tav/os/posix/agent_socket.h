#pragma once

#include <cstddef>
#include <string>

#include "tav/os/key_agent.h"

// The key agent's socket, for both of its ends; not for use elsewhere.
namespace tav {

// The descriptor on which a started agent finds its listening socket.
inline constexpr int kAgentSocketFd = 3;

// The agent's socket in the user's runtime folder, or nothing when that
// folder is missing or not private to this user.
std::string AgentSocketPath();

// Sends or receives all `size` bytes, retrying after interruptions; false
// when the other end is gone or a wait runs out.
bool SendAll(int fd, const void* data, std::size_t size);
bool ReceiveAll(int fd, void* data, std::size_t size);

// Every send and receive on `fd` waits two seconds at most.
void LimitWaits(int fd);

// True when the other end of `fd` is a process of this user.
bool PeerIsThisUser(int fd);

// A connected socket, closed with the connection; its waits are limited.
class SocketConnection : public AgentConnection {
public:
    explicit SocketConnection(int fd);
    ~SocketConnection() override;
    SocketConnection(const SocketConnection&) = delete;
    SocketConnection& operator=(const SocketConnection&) = delete;

    bool Send(const void* data, std::size_t size) override { return SendAll(fd_, data, size); }
    bool Receive(void* data, std::size_t size) override { return ReceiveAll(fd_, data, size); }
    bool PeerIsThisUser() override { return tav::PeerIsThisUser(fd_); }

private:
    int fd_;
};

}  // namespace tav
