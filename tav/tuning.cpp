#include "tav/tuning.h"

#include "tav/format/format.h"

namespace tav::tuning {

std::uint64_t KdfMemLimit(bool paranoia) { return paranoia ? kMaxMemLimit : 256ull * 1024 * 1024; }

int KeyAgentIdleSeconds() { return 60; }

bool UnnamedFilesAllowed() { return true; }

}  // namespace tav::tuning
