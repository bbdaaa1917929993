#pragma once

#include <cstdint>
#include <string>

#include "tav/files.h"
#include "tav/format.h"
#include "tav/secure_buffer.h"

namespace tav {

struct EncryptJob {
    std::string source;
    std::string target;
    std::uint32_t rounds = 1;
    bool paranoia = false;
    bool selfDecrypting = false;  // the target is a copy of this program with the data appended
};

// Encrypts job.source into job.target; throws Failure and leaves no target on any error.
void Encrypt(const EncryptJob& job, const SecureBuffer& key);

// An encrypted file, plain or self-decrypting, read in authenticated passes.
class EncryptedFile {
public:
    explicit EncryptedFile(const std::string& path);

    // Checks the header and the key and reads the stored metadata.
    // Exit::Damaged for a damaged header, Exit::WrongKey for a wrong key.
    const Metadata& Open(const SecureBuffer& key);

    // Authenticates every byte without writing anything.
    void Verify();

    // Decrypts into `out`. Anything not authentic fails before its bytes are
    // written, but earlier chunks are already in `out`: only Commit it on success.
    void DecryptTo(OutputFile& out);

private:
    enum class Reach { Metadata, Everything };
    // One authenticated pass from the start of the stream, writing the
    // plaintext to `out` when there is one.
    void Pass(Reach reach, OutputFile* out);

    std::string path_;
    SourceFile file_;
    std::uint64_t dataStart_ = 0;
    std::uint64_t dataEnd_ = 0;
    HeaderBytes headerBytes_{};
    Header header_;
    DerivedKeys keys_;
    Metadata metadata_;
};

// This program's own executable and how many of its bytes are the program
// (a self-decrypting copy carries data behind it).
struct SelfImage {
    std::string path;
    std::uint64_t programSize = 0;
    bool carriesData = false;
};
SelfImage FindSelfImage();

}  // namespace tav
