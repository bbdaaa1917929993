#include "tav/format/folder_archive.h"

#include <algorithm>

#include "tav/base/failure.h"

namespace tav {

namespace {

void PutLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::uint64_t GetLe(const std::string& in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
}

[[noreturn]] void Malformed(const std::string& what) {
    throw Failure(Exit::Damaged, "the stored folder is damaged (" + what + ")");
}

bool KnownType(std::uint8_t type) {
    return type == 'D' || type == 'F' || type == 'L' || type == 'E';
}

}  // namespace

std::string SerializeRecord(const Record& record) {
    std::string out;
    out.push_back(static_cast<char>(record.type));
    PutLe(out, record.name.size(), 2);
    PutLe(out, record.linkTarget.size(), 2);
    PutLe(out, record.attributes.mode, 4);
    PutLe(out, static_cast<std::uint64_t>(record.attributes.mtimeSeconds), 8);
    PutLe(out, record.attributes.mtimeNanoseconds, 4);
    PutLe(out, record.size, 8);
    return out + record.name + record.linkTarget;
}

std::size_t ArchiveReader::TakeInto(const unsigned char*& data, std::size_t& size, std::size_t want) {
    if (pending_.empty() && expect_ == Expect::Head) recordStart_ = offset_;
    const std::size_t take = std::min(size, want - pending_.size());
    pending_.append(reinterpret_cast<const char*>(data), take);
    data += take;
    size -= take;
    offset_ += take;
    return pending_.size();
}

void ArchiveReader::Feed(const unsigned char* data, std::size_t size) {
    while (size > 0) {
        switch (expect_) {
            case Expect::Head:
                if (TakeInto(data, size, kRecordHeadSize) == kRecordHeadSize) ParseHead();
                break;
            case Expect::NameAndTarget:
                if (TakeInto(data, size, nameSize_ + targetSize_) == nameSize_ + targetSize_) {
                    record_.name = pending_.substr(0, nameSize_);
                    record_.linkTarget = pending_.substr(nameSize_);
                    pending_.clear();
                    Complete();
                }
                break;
            case Expect::Contents: {
                const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(size, contentsLeft_));
                if (!leavingOut_) builder_.FileData(data, take);
                data += take;
                size -= take;
                offset_ += take;
                contentsLeft_ -= take;
                if (contentsLeft_ == 0) {
                    if (!leavingOut_) builder_.EndFile();
                    expect_ = Expect::Head;
                }
                break;
            }
            case Expect::Nothing:
                Malformed("data after its end");
            case Expect::Ignored:
                offset_ += size;
                return;
        }
    }
}

void ArchiveReader::ParseHead() {
    if (RecordLost()) return LeaveOutTheRest();
    const std::uint8_t type = static_cast<std::uint8_t>(pending_[0]);
    if (!KnownType(type)) Malformed("unknown record type");
    record_.type = static_cast<RecordType>(type);
    nameSize_ = static_cast<std::size_t>(GetLe(pending_, 1, 2));
    targetSize_ = static_cast<std::size_t>(GetLe(pending_, 3, 2));
    record_.attributes.mode = static_cast<std::uint32_t>(GetLe(pending_, 5, 4));
    record_.attributes.mtimeSeconds = static_cast<std::int64_t>(GetLe(pending_, 9, 8));
    record_.attributes.mtimeNanoseconds = static_cast<std::uint32_t>(GetLe(pending_, 17, 4));
    record_.size = GetLe(pending_, 21, 8);
    pending_.clear();

    const bool isLink = record_.type == RecordType::Link;
    const bool isEnd = record_.type == RecordType::End;
    if (nameSize_ > kMaxEntryNameSize || targetSize_ > kMaxLinkTargetSize) Malformed("a name is too long");
    if ((targetSize_ != 0) != isLink) Malformed("a link target out of place");
    if (record_.size != 0 && record_.type != RecordType::File) Malformed("contents out of place");
    if ((record_.attributes.mode & ~kStoredModeBits) != 0) Malformed("unknown permission bits");
    if (record_.attributes.mtimeNanoseconds >= 1000000000u) Malformed("an impossible time");
    if (isEnd && (nameSize_ != 0 || record_.attributes.mode != 0 || record_.attributes.mtimeSeconds != 0 ||
                  record_.attributes.mtimeNanoseconds != 0)) {
        Malformed("an end record with fields");
    }
    expect_ = Expect::NameAndTarget;
    if (nameSize_ + targetSize_ == 0) Complete();
}

void ArchiveReader::Complete() {
    if (RecordLost()) return LeaveOutTheRest();
    expect_ = Expect::Head;
    if (depth_ == 0) {  // the first record: once the root has ended, nothing more is read
        if (record_.type != RecordType::Folder || !record_.name.empty()) Malformed("no root folder");
        depth_ = 1;
        builder_.BeginFolder(record_.name, record_.attributes);
        return;
    }
    if (record_.type == RecordType::End) {
        builder_.EndFolder();
        if (--depth_ == 0) expect_ = Expect::Nothing;
        if (!folders_.empty()) folders_.pop_back();
        return;
    }
    if (!IsSafeEntryName(record_.name)) Malformed("an unsafe name: " + PathOf(record_.name));
    if (check_ != nullptr) check_(record_.name, PathOf(record_.name));
    lastEntry_ = PathOf(record_.name);
    switch (record_.type) {
        case RecordType::Folder:
            if (depth_ == kMaxFolderDepth) Malformed("folders nested too deeply");
            ++depth_;
            folders_.push_back(record_.name);
            builder_.BeginFolder(record_.name, record_.attributes);
            break;
        case RecordType::File:
            contentsLeft_ = record_.size;
            leavingOut_ = Touches(lost_, offset_, offset_ + contentsLeft_);
            if (leavingOut_) {
                leftOut_.push_back(lastEntry_);
            } else {
                builder_.BeginFile(record_.name, record_.attributes);
            }
            if (contentsLeft_ == 0) {
                if (!leavingOut_) builder_.EndFile();
            } else {
                expect_ = Expect::Contents;
            }
            break;
        case RecordType::Link:
            if (record_.linkTarget.find('\0') != std::string::npos) Malformed("a link target with a NUL");
            builder_.Link(record_.name, record_.linkTarget, record_.attributes);
            break;
        case RecordType::End:
            break;
    }
}

void ArchiveReader::Finish() const {
    if (expect_ != Expect::Nothing && expect_ != Expect::Ignored) Malformed("it ends early");
}

std::string ArchiveReader::PathOf(const std::string& name) const {
    std::string path;
    for (const std::string& folder : folders_) path += folder + "/";
    return path + name;
}

void ArchiveReader::LeaveOutTheRest() {
    leftOut_.push_back(lastEntry_.empty() ? "everything in it (its first records are damaged)"
                                          : "everything after " + lastEntry_ + " (its records are damaged there)");
    for (; depth_ > 0; --depth_) builder_.EndFolder();
    pending_.clear();
    expect_ = Expect::Ignored;
}

}  // namespace tav
