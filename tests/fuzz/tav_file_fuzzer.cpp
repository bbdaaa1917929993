// Whole encrypted files, plain or self-decrypting, opened with the key the
// seeds were sealed under ("fuzz"). The header is parsed as it came and
// with its checksum mended, so that every field check is reached; what
// parses must serialize back to the same bytes. Then the header's key
// derivation is capped at the cheapest cost and its key check and checksum
// are recomputed, so the fuzzer reaches the metadata, the length checks and
// the stream. Every failure must be one of TAV's own.
#include <sodium.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tav/base/failure.h"
#include "tav/os/files.h"
#include "tav/format/format.h"
#include "tav/engine/encrypt.h"
#include "tav/engine/encrypted_file.h"
#include "tav/engine/self_image.h"

namespace {

constexpr std::uint32_t kMaxFuzzOps = 3;

void PutLe(unsigned char* out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Where the header is: behind a self-decrypting program when a trailer says
// so, else at the start.
std::size_t HeaderOffset(const std::vector<unsigned char>& file) {
    if (file.size() < tav::kTrailerSize + tav::kHeaderSize) return 0;
    tav::TrailerBytes trailer;
    std::memcpy(trailer.data(), file.data() + file.size() - tav::kTrailerSize, tav::kTrailerSize);
    std::uint64_t offset = 0;
    if (!tav::ParseTrailer(trailer, offset) || offset > file.size() - tav::kTrailerSize - tav::kHeaderSize) return 0;
    return static_cast<std::size_t>(offset);
}

// The header's checksum made right for its first 80 bytes.
void MendChecksum(unsigned char* header) { crypto_generichash(&header[80], 16, header, 80, nullptr, 0); }

// The key check made right for `keys`, and then the checksum.
void MendKeyCheck(unsigned char* header, const tav::DerivedKeys& keys) {
    crypto_generichash(&header[64], 16, header, 64, keys.checkKey(), 32);
    MendChecksum(header);
}

void FuzzHeaderParser(const unsigned char* header) {
    tav::HeaderBytes bytes;
    std::memcpy(bytes.data(), header, tav::kHeaderSize);
    for (const bool mended : {false, true}) {
        if (mended) MendChecksum(bytes.data());
        try {
            const tav::Header parsed = tav::ParseHeader(bytes);
            // With the key check recomputed under any key it is the same 96 bytes.
            tav::DerivedKeys keys;
            std::memset(keys.bytes.data(), 0x5a, keys.bytes.size());
            MendKeyCheck(bytes.data(), keys);
            if (tav::SerializeHeader(parsed, keys) != bytes || !tav::KeyCheckMatches(bytes, keys)) std::abort();
        } catch (const tav::Failure& failure) {
            if (failure.code() != tav::Exit::Damaged) std::abort();
        }
    }
}

void MakeHeaderPass(std::vector<unsigned char>& file, const tav::SecureBuffer& key) {
    const std::size_t at = HeaderOffset(file);
    if (file.size() < at + tav::kHeaderSize) return;
    unsigned char* header = file.data() + at;
    FuzzHeaderParser(header);
    std::uint32_t ops = static_cast<std::uint32_t>(header[12]);
    PutLe(&header[12], ops < 1 ? 1 : ops > kMaxFuzzOps ? kMaxFuzzOps : ops, 4);
    PutLe(&header[16], crypto_pwhash_argon2id_MEMLIMIT_MIN, 8);
    tav::HeaderBytes bytes;
    std::memcpy(bytes.data(), header, tav::kHeaderSize);
    MendChecksum(bytes.data());
    try {
        const tav::Header parsed = tav::ParseHeader(bytes);
        tav::DerivedKeys keys;
        tav::DeriveKeys(key, parsed, keys);
        MendKeyCheck(header, keys);
    } catch (const tav::Failure&) {
        MendChecksum(header);
    }
}

std::string OutputFolder() {
    static const std::string folder = [] {
        std::string pattern = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/tav-fuzz-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (sodium_init() < 0) std::abort();
    static const tav::SecureBuffer* key = [] {
        auto* buffer = new tav::SecureBuffer(4);
        std::memcpy(buffer->data(), "fuzz", 4);
        return buffer;
    }();
    std::vector<unsigned char> file(data, data + size);
    MakeHeaderPass(file, *key);

    const int fd = ::memfd_create("tav-fuzz", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) std::abort();
    try {
        tav::EncryptedFile encrypted("/proc/self/fd/" + std::to_string(fd));
        tav::OutputFile out(OutputFolder() + "/out");  // never committed: discarded when it goes
        encrypted.Open(*key);
        encrypted.Verify(nullptr);
        encrypted.DecryptTo(out);
    } catch (const tav::Failure& failure) {
        if (failure.code() != tav::Exit::Damaged && failure.code() != tav::Exit::WrongKey) std::abort();
    }
    ::close(fd);
    return 0;
}
