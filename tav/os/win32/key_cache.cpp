// Windows keeps no key cache: every run derives its key. There is no agent.
#include "tav/base/failure.h"
#include "tav/os/key_cache.h"
#include "tav/os/key_cache_agent.h"

namespace tav {

bool MasterKeyFromAgent(const SecureBuffer&, const KdfParams&, const std::array<unsigned char, kSaltSize>&,
                        SecureBuffer&) {
    return false;
}

bool NewFileMasterKeyFromAgent(const SecureBuffer&, const KdfParams&, std::array<unsigned char, kSaltSize>&,
                               SecureBuffer&) {
    return false;
}

int RunKeyAgent() { throw Failure(Exit::Usage, "TAV keeps no key agent on Windows"); }

}  // namespace tav
