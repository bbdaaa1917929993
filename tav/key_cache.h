#pragma once

#include <array>

#include "tav/format.h"
#include "tav/secure_buffer.h"

namespace tav {

// Master keys of recent runs, so that a batch of files pays the key
// derivation once. Files encrypted while an entry for the same key and cost
// is remembered share its salt (each still gets its own nonce and keys);
// decrypting looks an entry up by key, cost and the file's salt. Entries
// live in a per-user agent process, in locked memory only, and are
// forgotten after a minute without use; nothing reaches the disk. The cache
// is never needed: whatever fails, the key is derived as without it.
// TAV_KEY_CACHE=off turns it off. It does not share keys between users or
// keep anything across a logout.

// A remembered master key for `key` and `kdf` with any salt (for a new
// file, which then shares that salt), or false.
bool RecallMasterKeyForEncryption(const SecureBuffer& key, const KdfParams& kdf,
                                  std::array<unsigned char, kSaltSize>& salt, SecureBuffer& master);

// A remembered master key for `key`, `kdf` and `salt` (an existing file's), or false.
bool RecallMasterKey(const SecureBuffer& key, const KdfParams& kdf, const std::array<unsigned char, kSaltSize>& salt,
                     SecureBuffer& master);

// Remembers a master key that has just been derived (and, for a file, found
// right), starting the agent when none runs.
void RememberMasterKey(const SecureBuffer& key, const KdfParams& kdf, const std::array<unsigned char, kSaltSize>& salt,
                       const SecureBuffer& master);

}  // namespace tav
