#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "tav/os/key_cache_agent.h"
#include "tav/os/posix/agent_socket.h"

namespace tav {

namespace {

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// A connection to this user's agent, or -1. The other end must be a process
// of this user: the key is never sent to anyone else.
int ConnectToAgent(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    LimitWaits(fd);  // connecting too
    const sockaddr_un address = AddressOf(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || !PeerIsThisUser(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Starts an agent on a new socket that replaces whatever is at `path` (a
// stale socket of an agent that is gone). The agent is a fresh run of this
// program, so it carries nothing of this process's memory.
bool StartAgent(const std::string& path) {
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) return false;
    const std::string staging = path + "." + std::to_string(::getpid());
    ::unlink(staging.c_str());
    const sockaddr_un address = AddressOf(staging);
    const mode_t previousMask = ::umask(0177);  // the socket: read and write for its user only
    const bool bound = ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(previousMask);
    if (!bound || ::listen(listener, 64) != 0 || ::rename(staging.c_str(), path.c_str()) != 0) {
        ::unlink(staging.c_str());
        ::close(listener);
        return false;
    }
    char self[4096];
    const ssize_t selfSize = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const pid_t child = selfSize > 0 ? ::fork() : -1;
    if (child == 0) {
        self[selfSize] = '\0';
        ::setsid();
        // Holds no folder of the user's busy (a removable disk stays unmountable otherwise).
        if (::chdir("/") != 0) ::_exit(127);
        const int nothing = ::open("/dev/null", O_RDWR);
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(nothing, fd);
        ::dup2(listener, kAgentSocketFd);  // dup2 clears close-on-exec on the copy
        ::close_range(kAgentSocketFd + 1, ~0u, 0);
        char* arguments[] = {self, const_cast<char*>(kKeyAgentArgument), nullptr};
        ::execv(self, arguments);
        ::_exit(127);
    }
    ::close(listener);
    if (child < 0) ::unlink(path.c_str());
    return child > 0;
}

}  // namespace

// The agent at this user's socket, started when none answers there.
std::unique_ptr<AgentConnection> ConnectToKeyAgent() {
    const std::string path = AgentSocketPath();
    if (path.empty()) return nullptr;
    int fd = ConnectToAgent(path);
    if (fd < 0 && StartAgent(path)) fd = ConnectToAgent(path);
    if (fd < 0) return nullptr;
    return std::make_unique<SocketConnection>(fd);
}

}  // namespace tav
