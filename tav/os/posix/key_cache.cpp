#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tav/base/failure.h"
#include "tav/os/hardening.h"
#include "tav/os/key_agent_protocol.h"
#include "tav/os/key_cache.h"
#include "tav/os/key_cache_agent.h"

namespace tav {

namespace {

constexpr const char* kSocketName = "tav-keys";
constexpr int kIoTimeoutSeconds = 2;
constexpr int kAgentSocketFd = 3;
constexpr std::size_t kMaxEntries = 16;
constexpr auto kWorkingEvery = std::chrono::milliseconds(500);

bool CacheEnabled() {
    const char* setting = std::getenv("TAV_KEY_CACHE");
    return setting == nullptr || (std::strcmp(setting, "off") != 0 && std::strcmp(setting, "0") != 0);
}

// The agent's socket in the user's runtime folder, or nothing when that
// folder is missing or not private to this user.
std::string SocketPath() {
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    if (folder == nullptr || folder[0] != '/') return {};
    struct stat st;
    if (::lstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        return {};
    }
    const std::string path = std::string(folder) + "/" + kSocketName;
    return path.size() < sizeof(sockaddr_un{}.sun_path) ? path : std::string();
}

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

bool SendAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool ReceiveAll(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t got = ::recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

void LimitWaits(int fd) {
    const timeval limit{kIoTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// A connection to this user's agent, or -1. The other end must be a process
// of this user: the key is never sent to anyone else.
int ConnectToAgent(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    LimitWaits(fd);
    const sockaddr_un address = AddressOf(path);
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) {
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

// Asks the agent on `fd` for a master key; false when it refuses or stops
// answering. While it derives it says so every half second, so each wait is
// short however long the derivation takes.
bool Ask(int fd, agent::Kind kind, const SecureBuffer& key, const KdfParams& kdf,
         std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    agent::Request request;
    std::memset(&request, 0, sizeof request);  // no stray bytes in the padding
    request.kind = kind;
    request.opsLimit = kdf.opsLimit;
    request.memLimit = kdf.memLimit;
    request.salt = salt;
    request.keySize = static_cast<std::uint32_t>(key.size());
    unsigned char status = agent::kWorking;
    bool answered = SendAll(fd, &request, sizeof request) && SendAll(fd, key.data(), key.size());
    while (answered && status == agent::kWorking) answered = ReceiveAll(fd, &status, 1);
    agent::MasterKeyReply reply{};
    answered = answered && status == agent::kMasterKey && ReceiveAll(fd, &reply, sizeof reply);
    if (answered) {
        salt = reply.salt;
        std::memcpy(master.data(), reply.master.data(), kMasterKeySize);
    }
    sodium_memzero(&reply, sizeof reply);
    return answered;
}

// The agent's answer, starting an agent when none listens.
bool AskAgent(agent::Kind kind, const SecureBuffer& key, const KdfParams& kdf,
              std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    if (!CacheEnabled() || key.size() > agent::kMaxKeySize) return false;
    const std::string path = SocketPath();
    if (path.empty()) return false;
    int fd = ConnectToAgent(path);
    if (fd < 0 && StartAgent(path)) fd = ConnectToAgent(path);
    if (fd < 0) return false;
    const bool answered = Ask(fd, kind, key, kdf, salt, master);
    ::close(fd);
    return answered;
}

// The agent's side: entries by a keyed hash of the key, so the key itself
// is not kept.
struct Entry {
    Entry() : id(32), master(kMasterKeySize) {}
    SecureBuffer id;
    KdfParams kdf{};
    std::array<unsigned char, kSaltSize> salt{};
    SecureBuffer master;
    std::time_t lastUsed = 0;
};

class Agent {
public:
    Agent() : secret_(32) { randombytes_buf(secret_.data(), secret_.size()); }

    // Serves until nothing has been asked for `idleSeconds`, or until the
    // socket is no longer at its path (the runtime folder is removed at logout).
    void Serve(int listener, const std::string& path, const struct stat& own, int idleSeconds) {
        std::time_t lastRequest = std::time(nullptr);
        for (;;) {
            pollfd incoming{listener, POLLIN, 0};
            if (::poll(&incoming, 1, 1000) > 0) {
                const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    LimitWaits(client);
                    Handle(client);
                    ::close(client);
                    lastRequest = std::time(nullptr);
                }
            }
            const std::time_t now = std::time(nullptr);
            std::erase_if(entries_, [&](const auto& entry) { return now - entry->lastUsed >= idleSeconds; });
            if (now - lastRequest >= idleSeconds || !StillAt(path, own)) return;
        }
    }

private:
    static bool StillAt(const std::string& path, const struct stat& own) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && st.st_ino == own.st_ino && st.st_dev == own.st_dev;
    }

    static bool Acceptable(const agent::Request& request) {
        return (request.kind == agent::kForFile || request.kind == agent::kForNewFile) && request.keySize > 0 &&
               request.keySize <= agent::kMaxKeySize && KdfParamsAllowed({request.opsLimit, request.memLimit});
    }

    void Handle(int client) {
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) return;
        agent::Request request{};
        if (!ReceiveAll(client, &request, sizeof request)) return;
        if (!Acceptable(request)) {
            SendAll(client, &agent::kRefused, 1);
            return;
        }
        SecureBuffer key(request.keySize);
        if (!ReceiveAll(client, key.data(), key.size())) return;
        SecureBuffer id(32);
        crypto_generichash(id.data(), id.size(), key.data(), key.size(), secret_.data(), secret_.size());
        const KdfParams kdf{request.opsLimit, request.memLimit};
        const bool forFile = request.kind == agent::kForFile;
        Entry* entry = Find(id, kdf, forFile ? &request.salt : nullptr);
        std::unique_ptr<Entry> derived;
        if (entry == nullptr) {
            if (!forFile) randombytes_buf(request.salt.data(), request.salt.size());
            derived = Derive(client, key, id, kdf, request.salt);
            entry = derived.get();
        }
        if (entry == nullptr) {
            SendAll(client, &agent::kRefused, 1);
            return;
        }
        entry->lastUsed = std::time(nullptr);
        agent::MasterKeyReply reply{};
        reply.salt = entry->salt;
        std::memcpy(reply.master.data(), entry->master.data(), kMasterKeySize);
        if (SendAll(client, &agent::kMasterKey, 1)) SendAll(client, &reply, sizeof reply);
        sodium_memzero(&reply, sizeof reply);
        if (derived != nullptr) Keep(std::move(derived));
    }

    // Derives the master key for an entry, telling the client every half
    // second that it is working; nullptr when the derivation fails.
    std::unique_ptr<Entry> Derive(int client, const SecureBuffer& key, const SecureBuffer& id, const KdfParams& kdf,
                                  const std::array<unsigned char, kSaltSize>& salt) {
        auto entry = std::make_unique<Entry>();
        std::memcpy(entry->id.data(), id.data(), id.size());
        entry->kdf = kdf;
        entry->salt = salt;
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool derived = false;
        std::thread worker([&] {
            try {
                DeriveMasterKey(key, salt, kdf, entry->master);
                derived = true;
            } catch (...) {
            }
            WipeStack();
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
            finished.notify_one();
        });
        {
            std::unique_lock<std::mutex> lock(mutex);
            while (!finished.wait_for(lock, kWorkingEvery, [&] { return done; })) {
                lock.unlock();
                SendAll(client, &agent::kWorking, 1);
                lock.lock();
            }
        }
        worker.join();
        return derived ? std::move(entry) : nullptr;
    }

    // Remembers an entry only in memory that is locked (a failed lock is
    // not an error to the allocator), forgetting the least recently used
    // one when the agent holds as many as it keeps.
    void Keep(std::unique_ptr<Entry> entry) {
        if (sodium_mlock(entry->master.data(), kMasterKeySize) != 0 ||
            sodium_mlock(entry->id.data(), entry->id.size()) != 0) {
            return;
        }
        if (entries_.size() == kMaxEntries) {
            entries_.erase(std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
                return a->lastUsed < b->lastUsed;
            }));
        }
        entries_.push_back(std::move(entry));
    }

    // The newest entry for the key's id and cost (and salt, when given).
    Entry* Find(const SecureBuffer& id, const KdfParams& kdf, const std::array<unsigned char, kSaltSize>* salt) {
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            Entry& entry = **it;
            if (sodium_memcmp(entry.id.data(), id.data(), id.size()) == 0 && entry.kdf.opsLimit == kdf.opsLimit &&
                entry.kdf.memLimit == kdf.memLimit && (salt == nullptr || entry.salt == *salt)) {
                return &entry;
            }
        }
        return nullptr;
    }

    SecureBuffer secret_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

int IdleSeconds() {
#ifdef TAV_TEST_BUILD
    // Test builds only: a shorter memory, so that forgetting can be tested.
    if (const char* seconds = std::getenv("TAV_TEST_KEY_CACHE_IDLE_SECONDS")) return std::atoi(seconds);
#endif
    return 60;
}

}  // namespace

bool MasterKeyFromAgent(const SecureBuffer& key, const KdfParams& kdf,
                        const std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    std::array<unsigned char, kSaltSize> same = salt;
    return AskAgent(agent::kForFile, key, kdf, same, master) && same == salt;
}

bool NewFileMasterKeyFromAgent(const SecureBuffer& key, const KdfParams& kdf,
                               std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    return AskAgent(agent::kForNewFile, key, kdf, salt, master);
}

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
    const std::string path = SocketPath();
    struct stat own;
    if (path.empty() || ::stat(path.c_str(), &own) != 0) return 0;
    // Listening again makes the credentials clients see the agent's own
    // rather than those of the run that made the socket and has ended.
    ::listen(kAgentSocketFd, 64);
    Agent().Serve(kAgentSocketFd, path, own, IdleSeconds());
    struct stat now;
    if (::stat(path.c_str(), &now) == 0 && now.st_ino == own.st_ino && now.st_dev == own.st_dev) ::unlink(path.c_str());
    return 0;
}

}  // namespace tav
