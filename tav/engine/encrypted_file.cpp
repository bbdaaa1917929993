#include "tav/engine/encrypted_file.h"

#include <algorithm>
#include <vector>

#include "tav/base/failure.h"
#include "tav/engine/chunks.h"
#include "tav/engine/pipeline.h"
#include "tav/engine/progress.h"
#include "tav/engine/self_image.h"
#include "tav/os/hardening.h"
#include "tav/os/key.h"
#include "tav/os/key_cache.h"

namespace tav {

namespace {

using State = crypto_secretstream_xchacha20poly1305_state;
constexpr unsigned char kTagMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr unsigned char kTagFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
constexpr std::size_t kSealedMetadataSize = kMetadataSize + kAuthSize;

// The bytes of contents of `length` bytes that chunks `first` to `last`
// held, "A to B" (B included); empty when they held only padding.
std::string ContentsOfChunks(std::uint64_t first, std::uint64_t last, std::size_t chunkSize, std::uint64_t length) {
    if (first * chunkSize >= length) return {};
    return std::to_string(first * chunkSize) + " to " +
           std::to_string(std::min<std::uint64_t>((last + 1) * chunkSize, length) - 1);
}

// Where chunk `index` of `chunks` lies in contents of `length` bytes, for
// a message that tells the user what is lost.
std::string ChunkPlace(std::uint64_t index, std::uint64_t chunks, std::size_t chunkSize, std::uint64_t length) {
    const std::string chunk = "chunk " + std::to_string(index + 1) + " of " + std::to_string(chunks);
    const std::string bytes = ContentsOfChunks(index, index, chunkSize, length);
    if (bytes.empty()) return "in the padding after its contents (" + chunk + ")";
    return "at bytes " + bytes + " of its " + std::to_string(length) + " bytes (" + chunk + ")";
}

// Chunks `first` to `last` of `chunks` as the bytes of the contents they
// held; empty when they held only padding.
std::string LostPlace(std::uint64_t first, std::uint64_t last, std::uint64_t chunks, std::size_t chunkSize,
                      std::uint64_t length) {
    const std::string bytes = ContentsOfChunks(first, last, chunkSize, length);
    if (bytes.empty()) return {};
    const std::string which = first == last ? "chunk " + std::to_string(first + 1)
                                            : "chunks " + std::to_string(first + 1) + " to " + std::to_string(last + 1);
    return "bytes " + bytes + " of " + std::to_string(length) + " (" + which + " of " + std::to_string(chunks) + ")";
}

}  // namespace

EncryptedFile::EncryptedFile(const std::string& path) : path_(path), file_(path) {
    dataEnd_ = file_.size();
    if (FindTrailer(file_, dataStart_)) dataEnd_ -= kTrailerSize;
    if (file_.ReadAt(dataStart_, headerBytes_.data(), kHeaderSize) != kHeaderSize) {
        throw Failure(Exit::Damaged, "not a TAV file (too short): " + path_);
    }
    header_ = ParseHeader(headerBytes_);
}

// A key that does not open the file is tried once more as an earlier
// TAV.exe hashed it, in the ANSI code page; each try costs a full key
// derivation, so a guess never costs less.
const Metadata& EncryptedFile::Open(const SecureBuffer& key) {
    if (!KeyOpens(key)) {
        const std::unique_ptr<SecureBuffer> earlier = KeyInEarlierEncoding(key);
        if (earlier == nullptr || !KeyOpens(*earlier)) throw Failure(Exit::WrongKey, "wrong key for " + path_);
    }
    if (header_.version == kVersion1) {
        PassV1(Reach::Metadata, nullptr, "reading");
    } else {
        OpenMetadataV2();
    }
    return metadata_;
}

bool EncryptedFile::KeyOpens(const SecureBuffer& key) {
    if (header_.version == kVersion1) {
        DeriveKeys(key, header_, keys_);
    } else {
        DeriveKeysV2(key);
    }
    return KeyCheckMatches(headerBytes_, keys_);
}

void EncryptedFile::Verify(PlainTarget* rehearsal) {
    Pass(rehearsal, "verifying");
    if (rehearsal != nullptr) rehearsal->Complete();
}

void EncryptedFile::DecryptTo(PlainTarget& out) { Pass(&out, "decrypting"); }

void EncryptedFile::Pass(PlainTarget* out, const char* action) {
    if (header_.version == kVersion1) {
        PassV1(Reach::Everything, out, action);
    } else {
        PassV2(out, action);
    }
}

void EncryptedFile::CheckLength(std::uint64_t payloadStart, std::uint64_t payload, std::uint64_t chunks,
                                std::size_t chunkSize, std::size_t overhead) const {
    const auto damaged = [this](const std::string& what) { return Failure(Exit::Damaged, what + ": " + path_); };
    // Lengths no file can have; below this limit the sum cannot overflow.
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 62;
    if (metadata_.length > kLimit || payload > kLimit) throw damaged("the file is damaged");
    const std::uint64_t expectedEnd = payloadStart + payload + chunks * overhead;
    if (expectedEnd > dataEnd_) {
        const std::uint64_t whole = dataEnd_ > payloadStart ? (dataEnd_ - payloadStart) / (chunkSize + overhead) : 0;
        throw damaged("the file is cut short: of its " + std::to_string(metadata_.length) +
                      " bytes of contents only the first " +
                      std::to_string(std::min<std::uint64_t>(whole * chunkSize, metadata_.length)) +
                      " are there, the rest is missing");
    }
    if (expectedEnd < dataEnd_) throw damaged("the file has unexpected data at its end");
}

// The file's keys, with the master key from the key cache when it answers.
void EncryptedFile::DeriveKeysV2(const SecureBuffer& key) {
    SecureBuffer master(kMasterKeySize);
    if (!MasterKeyFromAgent(key, header_.kdf, header_.salt, master)) {
        DeriveMasterKey(key, header_.salt, header_.kdf, master);
    }
    DeriveFileKeys(master, header_.nonce, keys_);
    WipeStack();
}

void EncryptedFile::OpenMetadataV2() {
    std::array<unsigned char, kSealedMetadataSizeV2> sealed{};
    if (file_.ReadAt(dataStart_ + kHeaderSize, sealed.data(), sealed.size()) != sealed.size()) {
        throw Failure(Exit::Damaged, "the file is truncated: " + path_);
    }
    const AeadNonce nonce = MetadataNonce();
    if (!MakeChunkCipher(keys_.streamKey())
             ->Open(nonce.data(), headerBytes_.data(), headerBytes_.size(), sealed.data(), kMetadataSize,
                    sealed.data() + kMetadataSize)) {
        throw Failure(Exit::Damaged, "the file is damaged: " + path_);
    }
    std::array<unsigned char, kMetadataSize> metadataBytes;
    std::copy(sealed.begin(), sealed.begin() + kMetadataSize, metadataBytes.begin());
    metadata_ = ParseMetadata(metadataBytes);
}

EncryptedFile::PayloadV2 EncryptedFile::LayoutV2() const {
    const std::uint64_t payload = PaddedLength(metadata_.length, (header_.flags & kFlagPadded) != 0);
    return {dataStart_ + kHeaderSize + kSealedMetadataSizeV2, payload, ChunkCount(payload, kChunkSizeV2)};
}

std::size_t EncryptedFile::ContentsIn(std::uint64_t index, std::size_t size) const {
    const std::uint64_t offset = index * kChunkSizeV2;
    const std::uint64_t left = offset < metadata_.length ? metadata_.length - offset : 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(left, size));
}

void EncryptedFile::PassV2(PlainTarget* out, const char* action) {
    // Plain names rather than a structured binding, which lambdas below
    // cannot capture before C++20 in every compiler.
    const PayloadV2 layout = LayoutV2();
    const std::uint64_t payloadStart = layout.start, payload = layout.length, chunks = layout.chunks;
    CheckLength(payloadStart, payload, chunks, kChunkSizeV2, kTagSizeV2);

    const unsigned workers = WorkerCount();
    const auto ciphers = CiphersFor(keys_, workers);
    Progress progress(action, path_, payload);
    ChunkPass pass;
    pass.chunks = chunks;
    pass.slotSize = kChunkSizeV2 + kTagSizeV2;
    pass.workers = workers;
    pass.read = [&](std::uint64_t i, unsigned char* slot) {
        const std::size_t size = ChunkLength(payload, i, kChunkSizeV2) + kTagSizeV2;
        if (file_.ReadAt(payloadStart + i * (kChunkSizeV2 + kTagSizeV2), slot, size) != size) {
            throw Failure(Exit::Damaged, "the file is truncated: " + path_);
        }
        return size;
    };
    pass.transform = [&](std::uint64_t i, unsigned char* slot, std::size_t size, unsigned worker) {
        const std::size_t length = size - kTagSizeV2;
        const AeadNonce nonce = ChunkNonce(i, i + 1 == chunks);
        if (!ciphers[worker]->Open(nonce.data(), nullptr, 0, slot, length, slot + length)) {
            throw Failure(Exit::Damaged, "the file is damaged " +
                                             ChunkPlace(i, chunks, kChunkSizeV2, metadata_.length) + ": " + path_);
        }
        return ContentsIn(i, length);
    };
    pass.write = [&](std::uint64_t i, const unsigned char* slot, std::size_t size) {
        if (out != nullptr) out->Write(slot, size);
        progress.Advance(ChunkLength(payload, i, kChunkSizeV2));
    };
    RunChunkPass(pass);
}

void EncryptedFile::PassV1(Reach reach, PlainTarget* out, const char* action) {
    const auto damaged = [this](const std::string& what) { return Failure(Exit::Damaged, what + ": " + path_); };
    SecureBuffer state(sizeof(State));
    State* st = reinterpret_cast<State*>(state.data());
    if (crypto_secretstream_xchacha20poly1305_init_pull(st, header_.nonce.data(), keys_.streamKey()) != 0) {
        throw damaged("the file is damaged");
    }

    std::vector<unsigned char> sealed(kChunkSize + kAuthSize);
    std::vector<unsigned char> plain(kChunkSize);
    std::uint64_t offset = dataStart_ + kHeaderSize;
    unsigned char tag;
    std::array<unsigned char, kMetadataSize> metadataBytes;
    if (file_.ReadAt(offset, sealed.data(), kSealedMetadataSize) != kSealedMetadataSize) {
        throw damaged("the file is truncated");
    }
    if (crypto_secretstream_xchacha20poly1305_pull(st, metadataBytes.data(), nullptr, &tag, sealed.data(),
                                                   kSealedMetadataSize, headerBytes_.data(), kHeaderSize) != 0 ||
        tag != kTagMessage) {
        throw damaged("the file is damaged");
    }
    offset += kSealedMetadataSize;
    metadata_ = ParseMetadata(metadataBytes);
    if (reach == Reach::Metadata) return;

    const std::uint64_t payload = PaddedLength(metadata_.length, (header_.flags & kFlagPadded) != 0);
    const std::uint64_t chunks = ChunkCount(payload, kChunkSize);
    CheckLength(offset, payload, chunks, kChunkSize, kAuthSize);

    Progress progress(action, path_, payload);
    std::uint64_t written = 0;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        const std::size_t length = ChunkLength(payload, i, kChunkSize) + kAuthSize;
        if (file_.ReadAt(offset, sealed.data(), length) != length) throw damaged("the file is truncated");
        if (crypto_secretstream_xchacha20poly1305_pull(st, plain.data(), nullptr, &tag, sealed.data(), length,
                                                       nullptr, 0) != 0 ||
            tag != (i + 1 == chunks ? kTagFinal : kTagMessage)) {
            throw damaged("the file is damaged " + ChunkPlace(i, chunks, kChunkSize, metadata_.length));
        }
        offset += length;
        const std::uint64_t keep = std::min<std::uint64_t>(length - kAuthSize, metadata_.length - written);
        if (out != nullptr) out->Write(plain.data(), static_cast<std::size_t>(keep));
        written += keep;
        progress.Advance(length - kAuthSize);
    }
    sodium_memzero(plain.data(), plain.size());
}

std::vector<std::string> EncryptedFile::Salvage(PlainTarget& out) {
    if (header_.version == kVersion1) {
        throw Failure(Exit::Usage, "only files of format version 2 can be salvaged: " + path_);
    }
    const PayloadV2 layout = LayoutV2();
    const std::uint64_t payloadStart = layout.start, payload = layout.length, chunks = layout.chunks;
    const std::unique_ptr<ChunkCipher> cipher = MakeChunkCipher(keys_.streamKey());
    std::vector<unsigned char> slot(kChunkSizeV2 + kTagSizeV2);
    // Chunk `index` opened in `slot`; false when it is not there or does not verify.
    const auto open = [&](std::uint64_t index) {
        const std::size_t length = ChunkLength(payload, index, kChunkSizeV2);
        const std::uint64_t at = payloadStart + index * (kChunkSizeV2 + kTagSizeV2);
        const AeadNonce nonce = ChunkNonce(index, index + 1 == chunks);
        return at + length + kTagSizeV2 <= dataEnd_ &&
               file_.ReadAt(at, slot.data(), length + kTagSizeV2) == length + kTagSizeV2 &&
               cipher->Open(nonce.data(), nullptr, 0, slot.data(), length, slot.data() + length);
    };

    // First which chunks verify, so that a folder knows what to leave out
    // before anything of it is built; each run of lost chunks is told once.
    std::vector<bool> verified(chunks);
    std::vector<ByteRange> lostBytes;
    std::vector<std::string> lost;
    {
        Progress progress("verifying", path_, payload);
        std::uint64_t first = chunks;  // the first of the run of lost chunks being counted
        const auto endRun = [&](std::uint64_t next) {
            if (first == chunks) return;
            const std::string place = LostPlace(first, next - 1, chunks, kChunkSizeV2, metadata_.length);
            if (!place.empty()) {
                lost.push_back(place);
                lostBytes.push_back({first * kChunkSizeV2, std::min<std::uint64_t>(next * kChunkSizeV2, metadata_.length)});
            }
            first = chunks;
        };
        for (std::uint64_t i = 0; i < chunks; ++i) {
            verified[i] = open(i);
            if (!verified[i] && first == chunks) first = i;
            if (verified[i]) endRun(i);
            progress.Advance(ChunkLength(payload, i, kChunkSizeV2));
        }
        endRun(chunks);
    }
    out.ExpectLost(lostBytes);

    Progress progress("salvaging", path_, payload);
    for (std::uint64_t i = 0; i < chunks; ++i) {
        const std::size_t length = ChunkLength(payload, i, kChunkSizeV2);
        if (!verified[i]) {
            std::fill(slot.begin(), slot.end(), 0);
        } else if (!open(i)) {
            throw Failure(Exit::Io, "the file changed while it was salvaged: " + path_);
        }
        out.Write(slot.data(), ContentsIn(i, length));
        progress.Advance(length);
    }
    sodium_memzero(slot.data(), slot.size());
    return holdsFolder() ? out.LeftOut() : lost;
}

}  // namespace tav
