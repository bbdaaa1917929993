// The key agent's protocol, the same on every system: the client's
// question, and the agent's answers from what it derived itself.
#include "tav/os/key_agent.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "tav/os/hardening.h"
#include "tav/tuning.h"

namespace tav {

namespace {

constexpr std::size_t kMaxEntries = 16;
constexpr auto kWorkingEvery = std::chrono::milliseconds(500);

bool Acceptable(const agent::Request& request) {
    return (request.kind == agent::kForFile || request.kind == agent::kForNewFile) && request.keySize > 0 &&
           request.keySize <= agent::kMaxKeySize && KdfParamsAllowed({request.opsLimit, request.memLimit});
}

}  // namespace

// While the agent derives it says so every half second, so each of the
// client's waits is short however long the derivation takes.
bool AskKeyAgent(AgentConnection& agent, agent::Kind kind, const SecureBuffer& key, const KdfParams& kdf,
                 std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    agent::Request request;
    std::memset(&request, 0, sizeof request);  // no stray bytes in the padding
    request.kind = kind;
    request.opsLimit = kdf.opsLimit;
    request.memLimit = kdf.memLimit;
    request.salt = salt;
    request.keySize = static_cast<std::uint32_t>(key.size());
    unsigned char status = agent::kWorking;
    bool answered = agent.Send(&request, sizeof request) && agent.Send(key.data(), key.size());
    while (answered && status == agent::kWorking) answered = agent.Receive(&status, 1);
    agent::MasterKeyReply reply{};
    answered = answered && status == agent::kMasterKey && agent.Receive(&reply, sizeof reply);
    if (answered) {
        salt = reply.salt;
        std::memcpy(master.data(), reply.master.data(), kMasterKeySize);
    }
    sodium_memzero(&reply, sizeof reply);
    return answered;
}

// Entries by a keyed hash of the key, so the key itself is not kept.
struct KeyAgent::Entry {
    Entry() : id(32), master(kMasterKeySize) {}
    SecureBuffer id;
    KdfParams kdf{};
    std::array<unsigned char, kSaltSize> salt{};
    SecureBuffer master;
    std::time_t lastUsed = 0;
};

KeyAgent::KeyAgent() : secret_(32), lastRequest_(std::time(nullptr)) {
    randombytes_buf(secret_.data(), secret_.size());
}

KeyAgent::~KeyAgent() = default;

bool KeyAgent::ForgetIdle(std::time_t now) {
    const int idle = tuning::KeyAgentIdleSeconds();
    std::erase_if(entries_, [&](const auto& entry) { return now - entry->lastUsed >= idle; });
    return now - lastRequest_ < idle;
}

// The idle time counts from the end of the last request, however it went.
void KeyAgent::Handle(AgentConnection& client) {
    Answer(client);
    lastRequest_ = std::time(nullptr);
}

void KeyAgent::Answer(AgentConnection& client) {
    if (!client.PeerIsThisUser()) return;
    agent::Request request{};
    if (!client.Receive(&request, sizeof request)) return;
    if (!Acceptable(request)) {
        client.Send(&agent::kRefused, 1);
        return;
    }
    SecureBuffer key(request.keySize);
    if (!client.Receive(key.data(), key.size())) return;
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
        client.Send(&agent::kRefused, 1);
        return;
    }
    entry->lastUsed = std::time(nullptr);
    agent::MasterKeyReply reply{};
    reply.salt = entry->salt;
    std::memcpy(reply.master.data(), entry->master.data(), kMasterKeySize);
    if (client.Send(&agent::kMasterKey, 1)) client.Send(&reply, sizeof reply);
    sodium_memzero(&reply, sizeof reply);
    if (derived != nullptr) Keep(std::move(derived));
}

// Derives the master key for an entry, telling the client every half
// second that it is working; nullptr when the derivation fails.
std::unique_ptr<KeyAgent::Entry> KeyAgent::Derive(AgentConnection& client, const SecureBuffer& key,
                                                  const SecureBuffer& id, const KdfParams& kdf,
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
            client.Send(&agent::kWorking, 1);
            lock.lock();
        }
    }
    worker.join();
    return derived ? std::move(entry) : nullptr;
}

// Remembers an entry only in memory that is locked (a failed lock is not an
// error to the allocator), forgetting the least recently used one when the
// agent holds as many as it keeps.
void KeyAgent::Keep(std::unique_ptr<Entry> entry) {
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
KeyAgent::Entry* KeyAgent::Find(const SecureBuffer& id, const KdfParams& kdf,
                                const std::array<unsigned char, kSaltSize>* salt) {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        Entry& entry = **it;
        if (sodium_memcmp(entry.id.data(), id.data(), id.size()) == 0 && entry.kdf.opsLimit == kdf.opsLimit &&
            entry.kdf.memLimit == kdf.memLimit && (salt == nullptr || entry.salt == *salt)) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace tav
