#include "tav/stream.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tav/failure.h"
#include "tav/progress.h"

namespace tav {

namespace {

using State = crypto_secretstream_xchacha20poly1305_state;
constexpr unsigned char kTagMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr unsigned char kTagFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
constexpr std::size_t kSealedMetadataSize = kMetadataSize + kAuthSize;

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::size_t ChunkLength(std::uint64_t payload, std::uint64_t index) {
    const std::uint64_t left = payload - index * kChunkSize;
    return static_cast<std::size_t>(left < kChunkSize ? left : kChunkSize);
}

// Where the encrypted data of `file` lies: behind the program in a
// self-decrypting file (found by its trailer), else the whole file.
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
        const std::size_t want = ChunkLength(self.programSize, offset / kChunkSize);
        if (program.ReadAt(offset, buffer.data(), want) != want) {
            throw Failure(Exit::Io, "cannot read the program to copy: " + self.path);
        }
        out.Write(buffer.data(), want);
        offset += want;
    }
}

}  // namespace

SelfImage FindSelfImage() {
    SelfImage self;
    char* resolved = ::realpath("/proc/self/exe", nullptr);
    if (resolved == nullptr) throw Failure(Exit::Io, "cannot find this program's own file");
    self.path = resolved;
    std::free(resolved);
    const SourceFile program(self.path);
    self.carriesData = FindTrailer(program, self.programSize);
    if (!self.carriesData) self.programSize = program.size();
    return self;
}

void Encrypt(const EncryptJob& job, const SecureBuffer& key) {
    const SourceFile source(job.source);
    const Metadata metadata{source.size(), BaseName(job.source)};
    OutputFile out(job.target);

    Header header;
    header.flags = job.paranoia ? kFlagPadded : 0;
    header.kdf = KdfParamsFor(job.rounds, job.paranoia);
    randombytes_buf(header.salt.data(), header.salt.size());
    DerivedKeys keys;
    DeriveKeys(key, header, keys);

    SecureBuffer state(sizeof(State));
    State* st = reinterpret_cast<State*>(state.data());
    crypto_secretstream_xchacha20poly1305_init_push(st, header.streamHeader.data(), keys.streamKey());
    const HeaderBytes headerBytes = SerializeHeader(header, keys);

    std::uint64_t dataOffset = 0;
    if (job.selfDecrypting) {
        const SelfImage self = FindSelfImage();
        CopyProgram(self, out);
        dataOffset = self.programSize;
    }
    out.Write(headerBytes.data(), headerBytes.size());

    std::vector<unsigned char> plain(kChunkSize);
    std::vector<unsigned char> sealed(kChunkSize + kAuthSize);
    const auto metadataBytes = SerializeMetadata(metadata);
    crypto_secretstream_xchacha20poly1305_push(st, sealed.data(), nullptr, metadataBytes.data(), kMetadataSize,
                                               headerBytes.data(), headerBytes.size(), kTagMessage);
    out.Write(sealed.data(), kSealedMetadataSize);

    const std::uint64_t payload = PaddedLength(metadata.length, job.paranoia);
    const std::uint64_t chunks = ChunkCount(payload);
    Progress progress("encrypting", payload);
    for (std::uint64_t i = 0; i < chunks; ++i) {
        const std::size_t length = ChunkLength(payload, i);
        const std::uint64_t offset = i * kChunkSize;
        const std::uint64_t sourceLeft = offset < metadata.length ? metadata.length - offset : 0;
        const std::size_t fromSource = static_cast<std::size_t>(std::min<std::uint64_t>(sourceLeft, length));
        if (source.ReadAt(offset, plain.data(), fromSource) != fromSource) {
            throw Failure(Exit::Io, "the source changed while it was read: " + job.source);
        }
        std::fill(plain.begin() + static_cast<std::ptrdiff_t>(fromSource), plain.begin() + static_cast<std::ptrdiff_t>(length), 0);
        crypto_secretstream_xchacha20poly1305_push(st, sealed.data(), nullptr, plain.data(), length, nullptr, 0,
                                                   i + 1 == chunks ? kTagFinal : kTagMessage);
        out.Write(sealed.data(), length + kAuthSize);
        progress.Advance(length);
    }
    unsigned char extra;
    if (source.ReadAt(metadata.length, &extra, 1) != 0) {
        throw Failure(Exit::Io, "the source changed while it was read: " + job.source);
    }
    sodium_memzero(plain.data(), plain.size());

    if (job.selfDecrypting) {
        const TrailerBytes trailer = SerializeTrailer(dataOffset);
        out.Write(trailer.data(), trailer.size());
    }
    out.Commit(job.selfDecrypting ? 0700 : 0600);
}

EncryptedFile::EncryptedFile(const std::string& path) : path_(path), file_(path) {
    dataEnd_ = file_.size();
    if (FindTrailer(file_, dataStart_)) dataEnd_ -= kTrailerSize;
}

const Metadata& EncryptedFile::Open(const SecureBuffer& key) {
    if (file_.ReadAt(dataStart_, headerBytes_.data(), kHeaderSize) != kHeaderSize) {
        throw Failure(Exit::Damaged, "not a TAV file (too short): " + path_);
    }
    header_ = ParseHeader(headerBytes_);
    DeriveKeys(key, header_, keys_);
    if (!KeyCheckMatches(headerBytes_, keys_)) throw Failure(Exit::WrongKey, "wrong key for " + path_);
    Pass(Reach::Metadata, nullptr);
    return metadata_;
}

void EncryptedFile::Verify() { Pass(Reach::Everything, nullptr); }

void EncryptedFile::DecryptTo(OutputFile& out) { Pass(Reach::Everything, &out); }

void EncryptedFile::Pass(Reach reach, OutputFile* out) {
    const auto damaged = [this](const std::string& what) { return Failure(Exit::Damaged, what + ": " + path_); };
    SecureBuffer state(sizeof(State));
    State* st = reinterpret_cast<State*>(state.data());
    if (crypto_secretstream_xchacha20poly1305_init_pull(st, header_.streamHeader.data(), keys_.streamKey()) != 0) {
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

    if (metadata_.length > dataEnd_) throw damaged("the file is damaged");
    const std::uint64_t payload = PaddedLength(metadata_.length, (header_.flags & kFlagPadded) != 0);
    const std::uint64_t chunks = ChunkCount(payload);
    const std::uint64_t expectedEnd = offset + payload + chunks * kAuthSize;
    if (expectedEnd > dataEnd_) throw damaged("the file is truncated");
    if (expectedEnd < dataEnd_) throw damaged("the file has unexpected data at its end");

    Progress progress(out != nullptr ? "decrypting" : "verifying", payload);
    std::uint64_t written = 0;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        const std::size_t length = ChunkLength(payload, i) + kAuthSize;
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
