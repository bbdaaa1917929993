#include "tav/engine/stream.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "tav/engine/chunk_cipher.h"
#include "tav/base/failure.h"
#include "tav/os/folder.h"
#include "tav/os/hardening.h"
#include "tav/os/key_cache.h"
#include "tav/engine/pipeline.h"
#include "tav/engine/progress.h"

namespace tav {

namespace {

using State = crypto_secretstream_xchacha20poly1305_state;
constexpr unsigned char kTagMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr unsigned char kTagFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
constexpr std::size_t kSealedMetadataSize = kMetadataSize + kAuthSize;
constexpr std::size_t kSealedMetadataSizeV2 = kMetadataSize + kTagSizeV2;

std::size_t ChunkLength(std::uint64_t payload, std::uint64_t index, std::size_t chunkSize) {
    const std::uint64_t left = payload - index * chunkSize;
    return static_cast<std::size_t>(left < chunkSize ? left : chunkSize);
}

// `dataOffset` is set only when a usable trailer is found.
bool FindTrailer(const SourceFile& file, std::uint64_t& dataOffset) {
    if (file.size() < kTrailerSize + kHeaderSize) return false;
    TrailerBytes trailer;
    if (file.ReadAt(file.size() - kTrailerSize, trailer.data(), kTrailerSize) != kTrailerSize) return false;
    std::uint64_t offset;
    if (!ParseTrailer(trailer, offset) || offset > file.size() - kTrailerSize - kHeaderSize) return false;
    dataOffset = offset;
    return true;
}

void CopyProgram(const SelfImage& self, OutputFile& out) {
    const SourceFile program(self.path);
    std::vector<unsigned char> buffer(kChunkSize);
    for (std::uint64_t offset = 0; offset < self.programSize;) {
        const std::size_t want = ChunkLength(self.programSize, offset / kChunkSize, kChunkSize);
        if (program.ReadAt(offset, buffer.data(), want) != want) {
            throw Failure(Exit::Io, "cannot read the program to copy: " + self.path);
        }
        out.Write(buffer.data(), want);
        offset += want;
    }
}

// One cipher per worker, each under the file's payload key.
std::vector<std::unique_ptr<ChunkCipher>> CiphersFor(const DerivedKeys& keys, unsigned workers) {
    std::vector<std::unique_ptr<ChunkCipher>> ciphers;
    for (unsigned w = 0; w < workers; ++w) ciphers.push_back(MakeChunkCipher(keys.streamKey()));
    return ciphers;
}

// Seals the payload's chunks on all cores into `out`; the payload is the
// source's bytes followed by zeros up to `payload` bytes.
void SealPayload(const PlainSource& source, const std::string& sourceName, std::uint64_t length,
                 std::uint64_t payload, const DerivedKeys& keys, OutputFile& out) {
    const unsigned workers = WorkerCount();
    const auto ciphers = CiphersFor(keys, workers);
    const std::uint64_t chunks = ChunkCount(payload, kChunkSizeV2);
    Progress progress("encrypting", payload);
    ChunkPass pass;
    pass.chunks = chunks;
    pass.slotSize = kChunkSizeV2 + kTagSizeV2;
    pass.workers = workers;
    pass.read = [&](std::uint64_t i, unsigned char* slot) {
        const std::size_t size = ChunkLength(payload, i, kChunkSizeV2);
        const std::uint64_t offset = i * kChunkSizeV2;
        const std::uint64_t sourceLeft = offset < length ? length - offset : 0;
        const std::size_t fromSource = static_cast<std::size_t>(std::min<std::uint64_t>(sourceLeft, size));
        if (source.ReadAt(offset, slot, fromSource) != fromSource) {
            throw Failure(Exit::Io, "the source changed while it was read: " + sourceName);
        }
        std::fill(slot + fromSource, slot + size, 0);
        return size;
    };
    pass.transform = [&](std::uint64_t i, unsigned char* slot, std::size_t size, unsigned worker) {
        const AeadNonce nonce = ChunkNonce(i, i + 1 == chunks);
        ciphers[worker]->Seal(nonce.data(), nullptr, 0, slot, size, slot + size);
        return size + kTagSizeV2;
    };
    pass.write = [&](std::uint64_t, const unsigned char* slot, std::size_t size) {
        out.Write(slot, size);
        progress.Advance(size - kTagSizeV2);
    };
    RunChunkPass(pass);
}

}  // namespace

SelfImage FindSelfImage() {
    SelfImage self;
    self.path = OwnProgramPath();
    const SourceFile program(self.path);
    self.carriesData = FindTrailer(program, self.programSize);
    if (!self.carriesData) self.programSize = program.size();
    return self;
}

void Encrypt(const EncryptJob& job, const SecureBuffer& key) {
    if (IsFolder(job.source)) {
        EncryptPlaintext(job, FolderSource(job.source), true, key);
    } else {
        EncryptPlaintext(job, SourceFile(job.source), false, key);
    }
}

void EncryptPlaintext(const EncryptJob& job, const PlainSource& source, bool folder, const SecureBuffer& key) {
    const Metadata metadata{source.size(), BaseName(job.source)};
    OutputFile out(job.target);

    Header header;
    header.flags = static_cast<std::uint8_t>((job.paranoia ? kFlagPadded : 0) | (folder ? kFlagFolder : 0));
    header.kdf = KdfParamsFor(job.rounds, job.paranoia);
    randombytes_buf(header.nonce.data(), header.nonce.size());
    DerivedKeys keys;
    {
        SecureBuffer master(kMasterKeySize);
        if (!NewFileMasterKeyFromAgent(key, header.kdf, header.salt, master)) {
            randombytes_buf(header.salt.data(), header.salt.size());
            DeriveMasterKey(key, header.salt, header.kdf, master);
        }
        DeriveFileKeys(master, header.nonce, keys);
    }
    WipeStack();
    const HeaderBytes headerBytes = SerializeHeader(header, keys);

    std::uint64_t dataOffset = 0;
    if (job.selfDecrypting) {
        const SelfImage self = FindSelfImage();
        CopyProgram(self, out);
        dataOffset = self.programSize;
    }
    out.Write(headerBytes.data(), headerBytes.size());

    std::array<unsigned char, kSealedMetadataSizeV2> sealedMetadata{};
    const auto metadataBytes = SerializeMetadata(metadata);
    std::copy(metadataBytes.begin(), metadataBytes.end(), sealedMetadata.begin());
    const AeadNonce metadataNonce = MetadataNonce();
    MakeChunkCipher(keys.streamKey())
        ->Seal(metadataNonce.data(), headerBytes.data(), headerBytes.size(), sealedMetadata.data(), kMetadataSize,
               sealedMetadata.data() + kMetadataSize);
    out.Write(sealedMetadata.data(), sealedMetadata.size());

    SealPayload(source, job.source, metadata.length, PaddedLength(metadata.length, job.paranoia), keys, out);
    unsigned char extra;
    if (source.ReadAt(metadata.length, &extra, 1) != 0) {
        throw Failure(Exit::Io, "the source changed while it was read: " + job.source);
    }

    if (job.selfDecrypting) {
        const TrailerBytes trailer = SerializeTrailer(dataOffset);
        out.Write(trailer.data(), trailer.size());
    }
    out.Commit(job.selfDecrypting ? 0700 : 0600);
}

EncryptedFile::EncryptedFile(const std::string& path) : path_(path), file_(path) {
    dataEnd_ = file_.size();
    if (FindTrailer(file_, dataStart_)) dataEnd_ -= kTrailerSize;
    if (file_.ReadAt(dataStart_, headerBytes_.data(), kHeaderSize) != kHeaderSize) {
        throw Failure(Exit::Damaged, "not a TAV file (too short): " + path_);
    }
    header_ = ParseHeader(headerBytes_);
}

const Metadata& EncryptedFile::Open(const SecureBuffer& key) {
    if (header_.version == kVersion1) {
        DeriveKeys(key, header_, keys_);
        if (!KeyCheckMatches(headerBytes_, keys_)) throw Failure(Exit::WrongKey, "wrong key for " + path_);
    } else {
        OpenKeysV2(key);
    }
    if (header_.version == kVersion1) {
        PassV1(Reach::Metadata, nullptr);
    } else {
        OpenMetadataV2();
    }
    return metadata_;
}

void EncryptedFile::Verify() { Pass(nullptr); }

void EncryptedFile::DecryptTo(PlainTarget& out) { Pass(&out); }

void EncryptedFile::Pass(PlainTarget* out) {
    if (header_.version == kVersion1) {
        PassV1(Reach::Everything, out);
    } else {
        PassV2(out);
    }
}

void EncryptedFile::CheckLength(std::uint64_t payloadStart, std::uint64_t payload, std::uint64_t chunks,
                                std::size_t overhead) const {
    const auto damaged = [this](const std::string& what) { return Failure(Exit::Damaged, what + ": " + path_); };
    if (metadata_.length > dataEnd_ || payload > dataEnd_ || chunks > dataEnd_) throw damaged("the file is damaged");
    const std::uint64_t expectedEnd = payloadStart + payload + chunks * overhead;
    if (expectedEnd > dataEnd_) throw damaged("the file is truncated");
    if (expectedEnd < dataEnd_) throw damaged("the file has unexpected data at its end");
}

// The file's keys, with the master key from the key cache when it answers.
void EncryptedFile::OpenKeysV2(const SecureBuffer& key) {
    SecureBuffer master(kMasterKeySize);
    if (!MasterKeyFromAgent(key, header_.kdf, header_.salt, master)) {
        DeriveMasterKey(key, header_.salt, header_.kdf, master);
    }
    DeriveFileKeys(master, header_.nonce, keys_);
    WipeStack();
    if (!KeyCheckMatches(headerBytes_, keys_)) throw Failure(Exit::WrongKey, "wrong key for " + path_);
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

void EncryptedFile::PassV2(PlainTarget* out) {
    const std::uint64_t payloadStart = dataStart_ + kHeaderSize + kSealedMetadataSizeV2;
    const std::uint64_t payload = PaddedLength(metadata_.length, (header_.flags & kFlagPadded) != 0);
    const std::uint64_t chunks = ChunkCount(payload, kChunkSizeV2);
    CheckLength(payloadStart, payload, chunks, kTagSizeV2);

    const unsigned workers = WorkerCount();
    const auto ciphers = CiphersFor(keys_, workers);
    Progress progress(out != nullptr ? "decrypting" : "verifying", payload);
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
            throw Failure(Exit::Damaged, "the file is damaged: " + path_);
        }
        const std::uint64_t offset = i * kChunkSizeV2;
        const std::uint64_t plainLeft = offset < metadata_.length ? metadata_.length - offset : 0;
        return static_cast<std::size_t>(std::min<std::uint64_t>(plainLeft, length));
    };
    pass.write = [&](std::uint64_t i, const unsigned char* slot, std::size_t size) {
        if (out != nullptr) out->Write(slot, size);
        progress.Advance(ChunkLength(payload, i, kChunkSizeV2));
    };
    RunChunkPass(pass);
}

void EncryptedFile::PassV1(Reach reach, PlainTarget* out) {
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
    CheckLength(offset, payload, chunks, kAuthSize);

    Progress progress(out != nullptr ? "decrypting" : "verifying", payload);
    std::uint64_t written = 0;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        const std::size_t length = ChunkLength(payload, i, kChunkSize) + kAuthSize;
        if (file_.ReadAt(offset, sealed.data(), length) != length) throw damaged("the file is truncated");
        if (crypto_secretstream_xchacha20poly1305_pull(st, plain.data(), nullptr, &tag, sealed.data(), length,
                                                       nullptr, 0) != 0 ||
            tag != (i + 1 == chunks ? kTagFinal : kTagMessage)) {
            throw damaged("the file is damaged");
        }
        offset += length;
        const std::uint64_t keep = std::min<std::uint64_t>(length - kAuthSize, metadata_.length - written);
        if (out != nullptr) out->Write(plain.data(), static_cast<std::size_t>(keep));
        written += keep;
        progress.Advance(length - kAuthSize);
    }
    sodium_memzero(plain.data(), plain.size());
}

}  // namespace tav
