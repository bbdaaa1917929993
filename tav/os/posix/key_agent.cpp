#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "tav/base/failure.h"
#include "tav/os/key_agent.h"
#include "tav/os/key_cache_agent.h"
#include "tav/os/posix/agent_socket.h"

namespace tav {

namespace {

bool StillAt(const std::string& path, const struct stat& own) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_ino == own.st_ino && st.st_dev == own.st_dev;
}

// Serves until nothing has been asked for the idle time, or until the
// socket is no longer at its path (the runtime folder is removed at logout).
void Serve(int listener, const std::string& path, const struct stat& own) {
    KeyAgent agent;
    for (;;) {
        pollfd incoming{listener, POLLIN, 0};
        if (::poll(&incoming, 1, 1000) > 0) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                SocketConnection connection(client);
                agent.Handle(connection);
            }
        }
        if (!agent.ForgetIdle(std::time(nullptr)) || !StillAt(path, own)) return;
    }
}

}  // namespace

int RunKeyAgent() {
    struct stat st;
    int type = 0;
    socklen_t size = sizeof type;
    if (::fstat(kAgentSocketFd, &st) != 0 || !S_ISSOCK(st.st_mode) ||
        ::getsockopt(kAgentSocketFd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM) {
        throw Failure(Exit::Usage, "the key agent is started by TAV itself");
    }
    // The socket file as TAV put it in place: when something else is there
    // later (another agent took over, or the folder went at logout), this
    // agent is done.
    const std::string path = AgentSocketPath();
    struct stat own;
    if (path.empty() || ::stat(path.c_str(), &own) != 0) return 0;
    // Listening again makes the credentials clients see the agent's own
    // rather than those of the run that made the socket and has ended.
    ::listen(kAgentSocketFd, 64);
    Serve(kAgentSocketFd, path, own);
    if (StillAt(path, own)) ::unlink(path.c_str());
    return 0;
}

}  // namespace tav
