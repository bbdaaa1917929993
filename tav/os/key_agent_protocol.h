#pragma once

#include <array>
#include <cstdint>

#include "tav/format/format.h"

// What TAV and its key agent say to each other on the agent's socket. A
// request is a Request, then the key's bytes. The agent answers with any
// number of kWorking bytes while it derives a master key (one every half
// second, so that the asker can tell a busy agent from a stuck one), then
// kMasterKey and a MasterKeyReply, or kRefused. There is no way to hand the
// agent a master key: it keeps only what it derived itself.
namespace tav::agent {

enum Kind : std::uint8_t {
    kForFile = 1,     // the master key for an existing file's key, cost and salt
    kForNewFile = 2,  // a remembered master key for the key and cost with any salt, or one for a new salt
};

inline constexpr unsigned char kWorking = 'w';
inline constexpr unsigned char kMasterKey = 'k';
inline constexpr unsigned char kRefused = 'n';
inline constexpr std::uint32_t kMaxKeySize = 64 * 1024;

struct Request {
    std::uint8_t kind;
    std::uint32_t opsLimit;
    std::uint64_t memLimit;
    std::array<unsigned char, kSaltSize> salt;  // for kForFile
    std::uint32_t keySize;
};

struct MasterKeyReply {
    std::array<unsigned char, kSaltSize> salt;
    std::array<unsigned char, kMasterKeySize> master;
};

}  // namespace tav::agent
