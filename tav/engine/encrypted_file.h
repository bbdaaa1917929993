#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tav/base/secure_buffer.h"
#include "tav/format/format.h"
#include "tav/os/files.h"

namespace tav {

// An encrypted file, plain or self-decrypting, read in authenticated passes.
class EncryptedFile {
public:
    // Opens the file and reads its header (Exit::Damaged when it has none).
    explicit EncryptedFile(const std::string& path);

    // True when the plaintext is a folder's archive.
    bool holdsFolder() const { return (header_.flags & kFlagFolder) != 0; }

    // Checks the header and the key and reads the stored metadata.
    // Exit::Damaged for a damaged header, Exit::WrongKey for a wrong key.
    const Metadata& Open(const SecureBuffer& key);

    // Authenticates every byte without writing anything; the plaintext
    // goes to `rehearsal` (when there is one), which is completed after.
    void Verify(PlainTarget* rehearsal);

    // Decrypts into `out`. Anything not authentic fails before its bytes are
    // written, but earlier chunks are already in `out`: only Commit it on success.
    void DecryptTo(PlainTarget& out);

    // Writes every chunk that verifies into `out` and zero bytes for each
    // one that does not (damaged, swapped, or cut off with the file's end),
    // so that what verifies keeps its place; a folder leaves out every
    // file those bytes touch. Returns, in order, what was lost: for a file
    // one line per run of lost chunks, for a folder one per entry left
    // out. Reads the file twice: which chunks verify is known before the
    // first byte is written. Version 2 files only.
    std::vector<std::string> Salvage(PlainTarget& out);

private:
    enum class Reach { Metadata, Everything };
    // Version 1: one authenticated pass through the sequential stream from
    // its start, writing the plaintext to `out` when there is one.
    void PassV1(Reach reach, PlainTarget* out, const char* action);
    // True when `key` opens the file; its keys are derived then.
    bool KeyOpens(const SecureBuffer& key);
    // Version 2: the keys, the metadata, then the chunks on all cores.
    void DeriveKeysV2(const SecureBuffer& key);
    void OpenMetadataV2();
    void PassV2(PlainTarget* out, const char* action);
    // Where version 2's chunks start, their payload (padding included) and
    // how many there are.
    struct PayloadV2 {
        std::uint64_t start, length, chunks;
    };
    PayloadV2 LayoutV2() const;
    // How many of the `size` payload bytes of version 2's chunk `index` are
    // contents rather than padding.
    std::size_t ContentsIn(std::uint64_t index, std::size_t size) const;
    // One authenticated pass over every chunk, `action` for its progress.
    void Pass(PlainTarget* out, const char* action);
    // Checks that the file is exactly as long as its payload needs; a file
    // cut short is told by how much of its contents is still there.
    void CheckLength(std::uint64_t payloadStart, std::uint64_t payload, std::uint64_t chunks, std::size_t chunkSize,
                     std::size_t overhead) const;

    std::string path_;
    SourceFile file_;
    std::uint64_t dataStart_ = 0;
    std::uint64_t dataEnd_ = 0;
    HeaderBytes headerBytes_{};
    Header header_;
    DerivedKeys keys_;
    Metadata metadata_;
};

}  // namespace tav
