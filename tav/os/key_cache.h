#pragma once

#include <array>

#include "tav/format/format.h"
#include "tav/base/secure_buffer.h"

namespace tav {

// Master keys of recent runs, so that a batch of files pays the key
// derivation once. They live in a per-user agent process, in locked memory
// only, and are forgotten after a minute without use; nothing reaches the
// disk. The agent derives every master key it hands out itself, on the
// first request for a key, cost and salt, and remembers it: a request for a
// key it does not know costs one full derivation, so asking it is never a
// faster way to test guesses than deriving. Files encrypted while an entry
// for the same key and cost is remembered share its salt (each still gets
// its own nonce and keys). The cache is never needed: whatever fails, the
// caller derives the key itself. TAV_KEY_CACHE=off turns it off. It does
// not share keys between users or keep anything across a logout.

// Turns the cache off for the rest of the run: the self-decrypting files'
// program restores one file, and an agent started from it would keep that
// file open, and on Windows undeletable, for a minute after.
void TurnOffKeyCache();

// The master key for an existing file's `key`, `kdf` and `salt`, from the
// agent; false when no agent answers.
bool MasterKeyFromAgent(const SecureBuffer& key, const KdfParams& kdf,
                        const std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master);

// For a new file: the agent's master key for `key` and `kdf` with the salt
// it remembers them with, or with a new salt; false when no agent answers.
bool NewFileMasterKeyFromAgent(const SecureBuffer& key, const KdfParams& kdf,
                               std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master);

}  // namespace tav
