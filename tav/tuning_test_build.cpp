// The test build's side of tuning.h, linked only into the tool the tests
// run (tav_fast_kdf) and the test programs that embed its engine.
#include "tav/tuning.h"

#include <sodium.h>

#include <cstdlib>

namespace tav::tuning {

// The cheapest cost Argon2id allows, so that tests stay fast.
std::uint64_t KdfMemLimit(bool paranoia) {
    return (paranoia ? 2 : 1) * std::uint64_t{crypto_pwhash_argon2id_MEMLIMIT_MIN};
}

// A shorter memory on request, so that forgetting can be tested.
int KeyAgentIdleSeconds() {
    const char* seconds = std::getenv("TAV_TEST_KEY_CACHE_IDLE_SECONDS");
    return seconds != nullptr ? std::atoi(seconds) : 60;
}

// TAV_TEST_NAMED_TEMPORARY takes the path of file systems that have no
// unnamed files, so that it can be tested anywhere.
bool UnnamedFilesAllowed() { return std::getenv("TAV_TEST_NAMED_TEMPORARY") == nullptr; }

}  // namespace tav::tuning
