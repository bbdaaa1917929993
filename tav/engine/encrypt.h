#pragma once

#include <cstdint>
#include <string>

#include "tav/base/secure_buffer.h"
#include "tav/os/files.h"

namespace tav {

struct EncryptJob {
    std::string source;
    std::string target;
    std::uint32_t rounds = 1;
    bool paranoia = false;
    bool selfDecrypting = false;  // the target is a copy of this program with the data appended
};

// Encrypts job.source, a file or a folder, into job.target; throws Failure
// and leaves no target on any error.
void Encrypt(const EncryptJob& job, const SecureBuffer& key);

// Encrypts `source` as the plaintext of job.target: a file's bytes, or with
// `folder` a folder's archive.
void EncryptPlaintext(const EncryptJob& job, const PlainSource& source, bool folder, const SecureBuffer& key);

}  // namespace tav
