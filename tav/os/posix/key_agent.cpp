#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
#include "tav/os/key_cache_agent.h"
#include "tav/os/posix/agent_socket.h"

namespace tav {

namespace {

constexpr std::size_t kMaxEntries = 16;
constexpr auto kWorkingEvery = std::chrono::milliseconds(500);

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
        if (!PeerIsThisUser(client)) return;
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
    Agent().Serve(kAgentSocketFd, path, own, IdleSeconds());
    struct stat now;
    if (::stat(path.c_str(), &now) == 0 && now.st_ino == own.st_ino && now.st_dev == own.st_dev) ::unlink(path.c_str());
    return 0;
}

}  // namespace tav
