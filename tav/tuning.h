#pragma once

#include <cstdint>

// The few settings in which the tests' build of TAV differs from the one
// that ships: tuning.cpp holds the shipped values, tuning_test_build.cpp
// those of the build the tests run. Everything else is compiled once and
// linked into both.
namespace tav::tuning {

// The memory the key derivation of new files costs, in bytes.
std::uint64_t KdfMemLimit(bool paranoia);

// How long the key agent keeps a key unused, and waits for a request
// before it ends.
int KeyAgentIdleSeconds();

// Whether output is written to an unnamed file where the file system
// allows one (POSIX).
bool UnnamedFilesAllowed();

}  // namespace tav::tuning
