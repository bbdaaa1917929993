#include "tav/engine/encrypt.h"

#include <algorithm>
#include <vector>

#include "tav/base/failure.h"
#include "tav/engine/chunks.h"
#include "tav/engine/pipeline.h"
#include "tav/engine/progress.h"
#include "tav/engine/stub_image.h"
#include "tav/os/folder.h"
#include "tav/os/hardening.h"
#include "tav/os/key_cache.h"

namespace tav {

namespace {

// Seals the payload's chunks on all cores into `out`; the payload is the
// source's bytes followed by zeros up to `payload` bytes.
void SealPayload(const PlainSource& source, const std::string& sourceName, std::uint64_t length,
                 std::uint64_t payload, const DerivedKeys& keys, OutputFile& out) {
    const unsigned workers = WorkerCount();
    const auto ciphers = CiphersFor(keys, workers);
    const std::uint64_t chunks = ChunkCount(payload, kChunkSizeV2);
    Progress progress("encrypting", sourceName, payload);
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
        const std::span<const unsigned char> stub = StubImage();
        out.Write(stub.data(), stub.size());
        dataOffset = stub.size();
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

}  // namespace tav
