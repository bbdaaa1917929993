// Asking the key agent, on every system: only when the cache is on, and
// only for keys it takes.
#include "tav/os/key_cache.h"

#include <cstdlib>
#include <cstring>

#include "tav/os/key_agent.h"

namespace tav {

namespace {

bool g_turnedOff = false;

bool CacheEnabled() {
    if (g_turnedOff) return false;
    const char* setting = std::getenv("TAV_KEY_CACHE");
    return setting == nullptr || (std::strcmp(setting, "off") != 0 && std::strcmp(setting, "0") != 0);
}

bool AskAgent(agent::Kind kind, const SecureBuffer& key, const KdfParams& kdf,
              std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    if (!CacheEnabled() || key.size() > agent::kMaxKeySize) return false;
    const std::unique_ptr<AgentConnection> agent = ConnectToKeyAgent();
    return agent != nullptr && AskKeyAgent(*agent, kind, key, kdf, salt, master);
}

}  // namespace

void TurnOffKeyCache() { g_turnedOff = true; }

bool MasterKeyFromAgent(const SecureBuffer& key, const KdfParams& kdf,
                        const std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    std::array<unsigned char, kSaltSize> same = salt;
    return AskAgent(agent::kForFile, key, kdf, same, master) && same == salt;
}

bool NewFileMasterKeyFromAgent(const SecureBuffer& key, const KdfParams& kdf,
                               std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master) {
    return AskAgent(agent::kForNewFile, key, kdf, salt, master);
}

}  // namespace tav
