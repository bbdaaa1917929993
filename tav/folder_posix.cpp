#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "tav/failure.h"
#include "tav/files_posix.h"
#include "tav/folder.h"
#include "tav/hardening.h"

namespace tav {

namespace {

EntryAttributes AttributesOf(const struct stat& st) {
    return {static_cast<std::uint32_t>(st.st_mode) & kStoredModeBits, static_cast<std::int64_t>(st.st_mtim.tv_sec),
            static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
}

// The folder's entry names in byte order, so that an archive of the same
// tree is always the same.
std::vector<std::string> SortedNames(const std::string& path) {
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) FailIo("cannot read the folder " + path);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    const int error = errno;
    ::closedir(folder);
    errno = error;
    if (error != 0) FailIo("cannot read the folder " + path);
    std::sort(names.begin(), names.end());
    return names;
}

[[noreturn]] void SourceChanged(const std::string& path) {
    throw Failure(Exit::Io, "the source changed while it was read: " + path);
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Access time left as it is, modification time as stored.
std::array<timespec, 2> StoredTimes(const EntryAttributes& attributes) {
    return {{{0, UTIME_OMIT},
             {static_cast<time_t>(attributes.mtimeSeconds), static_cast<long>(attributes.mtimeNanoseconds)}}};
}

// Gives an open entry its stored mode and time and closes it; false, with
// errno of the first step that failed, when any did.
bool SettleAndClose(int fd, const EntryAttributes& attributes) {
    const bool settled = ::fchmod(fd, attributes.mode) == 0 && ::futimens(fd, StoredTimes(attributes).data()) == 0;
    const int error = errno;
    if (::close(fd) != 0 && settled) return false;
    errno = error;
    return settled;
}

}  // namespace

FolderSource::FolderSource(const std::string& path) {
    Walk(path, "", 0);
}

void FolderSource::AddRecord(const Record& record) {
    const std::string bytes = SerializeRecord(record);
    pieces_.push_back({size_, bytes.size(), records_.size(), false});
    records_ += bytes;
    size_ += bytes.size();
}

void FolderSource::Walk(const std::string& path, const std::string& name, unsigned depth) {
    if (name.size() > kMaxEntryNameSize) throw Failure(Exit::Io, "name too long: " + path);
    struct stat st;
    // The root is taken as given, a link to a folder included; below it,
    // links are stored as links.
    if ((depth == 0 ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) FailIo("cannot read " + path);
    Record record;
    record.name = name;
    record.attributes = AttributesOf(st);
    if (S_ISDIR(st.st_mode)) {
        if (depth == kMaxFolderDepth) throw Failure(Exit::Io, "folders nested too deeply: " + path);
        record.type = RecordType::Folder;
        AddRecord(record);
        for (const std::string& child : SortedNames(path)) Walk(path + "/" + child, child, depth + 1);
        AddRecord(Record{});
    } else if (S_ISREG(st.st_mode)) {
        record.type = RecordType::File;
        record.size = static_cast<std::uint64_t>(st.st_size);
        AddRecord(record);
        if (record.size == 0) return;
        pieces_.push_back({size_, record.size, files_.size(), true});
        files_.push_back({path, st.st_dev, st.st_ino, record.size});
        size_ += record.size;
    } else if (S_ISLNK(st.st_mode)) {
        std::string target(kMaxLinkTargetSize + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) FailIo("cannot read the link " + path);
        if (static_cast<std::size_t>(length) > kMaxLinkTargetSize) throw Failure(Exit::Io, "link target too long: " + path);
        target.resize(static_cast<std::size_t>(length));
        record.type = RecordType::Link;
        record.linkTarget = target;
        AddRecord(record);
    } else {
        throw Failure(Exit::Io, "not a file, folder or link: " + path);
    }
}

std::size_t FolderSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    auto piece = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                                  [](std::uint64_t at, const Piece& p) { return at < p.start; });
    if (piece == pieces_.begin()) return 0;
    for (--piece; piece != pieces_.end() && done < size; ++piece) {
        const std::uint64_t from = offset + done - piece->start;
        if (from >= piece->length) continue;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(piece->length - from, size - done));
        if (piece->isFile) {
            ReadFile(files_[piece->at], from, out + done, take);
        } else {
            std::memcpy(out + done, records_.data() + piece->at + from, take);
        }
        done += take;
    }
    return done;
}

// Opens the file anew for each read, so that a tree of any size needs no
// descriptors kept open, and checks that it is still the file walked.
void FolderSource::ReadFile(const File& file, std::uint64_t offset, unsigned char* buffer, std::size_t size) const {
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) FailIo("cannot open " + file.path);
    struct stat st;
    const bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == file.device &&
                      st.st_ino == file.inode && static_cast<std::uint64_t>(st.st_size) == file.size;
    const ssize_t got = same ? ReadFullyAt(fd, offset, buffer, size) : 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    if (got < 0) FailIo("cannot read " + file.path);
    if (static_cast<std::size_t>(got) < size) SourceChanged(file.path);
}

// Creates what the archive reader asks for, each entry relative to its
// parent's descriptor.
class OutputFolder::Builder : public FolderBuilder {
public:
    // `root`: a descriptor of the folder being built, which the builder takes.
    Builder(int root, std::string target) : root_(root), target_(std::move(target)) {}
    ~Builder() override {
        if (root_ >= 0) ::close(root_);
        if (file_ >= 0) ::close(file_);
        for (const Open& folder : folders_) ::close(folder.fd);
    }

    void BeginFolder(const std::string& name, const EntryAttributes& attributes) override {
        int fd = std::exchange(root_, -1);
        if (!folders_.empty()) {
            if (::mkdirat(current(), name.c_str(), 0700) != 0) Fail(name);
            fd = ::openat(current(), name.c_str(), kFolderFlags);
        }
        if (fd < 0) Fail(name);
        folders_.push_back({fd, attributes});
    }

    // A folder's own mode and time are set once everything in it is there.
    void EndFolder() override {
        const Open folder = folders_.back();
        folders_.pop_back();
        if (!SettleAndClose(folder.fd, folder.attributes)) Fail("");
    }

    void BeginFile(const std::string& name, const EntryAttributes& attributes) override {
        file_ = ::openat(current(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file_ < 0) Fail(name);
        fileAttributes_ = attributes;
    }

    void FileData(const unsigned char* data, std::size_t size) override {
        if (!WriteFully(file_, data, size)) Fail("");
    }

    void EndFile() override {
        if (!SettleAndClose(std::exchange(file_, -1), fileAttributes_)) Fail("");
    }

    void Link(const std::string& name, const std::string& target, const EntryAttributes& attributes) override {
        if (::symlinkat(target.c_str(), current(), name.c_str()) != 0) Fail(name);
        if (::utimensat(current(), name.c_str(), StoredTimes(attributes).data(), AT_SYMLINK_NOFOLLOW) != 0) Fail(name);
    }

private:
    struct Open {
        int fd;
        EntryAttributes attributes;
    };
    int current() const { return folders_.back().fd; }

    // A name that is there already can only come from the archive itself.
    [[noreturn]] void Fail(const std::string& name) const {
        if (errno == EEXIST) throw Failure(Exit::Damaged, "the stored folder holds a name twice: " + name);
        FailIo("cannot write " + target_);
    }

    int root_;
    std::string target_;
    std::vector<Open> folders_;
    int file_ = -1;
    EntryAttributes fileAttributes_;
};

namespace {

// A folder killed outright (SIGKILL, a power cut) could not remove is
// removed by the next folder decryption in the same place: a temporary
// folder of our pattern that no running TAV holds locked and that has not
// changed for a minute.
void RemoveAbandonedFolders(const std::string& parent) {
    DIR* folder = ::opendir(parent.c_str());
    if (folder == nullptr) return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() != 11 || name.compare(0, 5, ".TAV-") != 0) continue;
        const std::string path = parent + "/" + name;
        const int fd = ::open(path.c_str(), kFolderFlags);
        if (fd < 0) continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && now - st.st_mtime > 60 &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            RemoveTree(path.c_str());
        }
        ::close(fd);
    }
    ::closedir(folder);
}

}  // namespace

// Signals wait while the folder is made and registered, so that none can
// end the process with it there and unknown to the cleanup. The folder
// stays locked while it is built, which tells a later run it is not
// abandoned.
OutputFolder::OutputFolder(const std::string& target) : target_(target) {
    RefuseUnusableName(target);
    RemoveAbandonedFolders(FolderOf(target));
    temp_ = FolderOf(target) + "/.TAV-XXXXXX";
    HoldSignals();
    const bool made = ::mkdtemp(temp_.data()) != nullptr;
    if (made) SetPendingTemporary(temp_.c_str());
    ReleaseSignals();
    if (!made) FailIo("cannot create a folder in " + FolderOf(target));
    lock_ = ::open(temp_.c_str(), kFolderFlags);
    const int root = lock_ < 0 || ::flock(lock_, LOCK_EX) != 0 ? -1 : ::fcntl(lock_, F_DUPFD_CLOEXEC, 0);
    if (root < 0) {  // no destructor runs for a constructor that throws
        const int error = errno;
        if (lock_ >= 0) ::close(lock_);
        RemoveTree(temp_.c_str());
        SetPendingTemporary(nullptr);
        errno = error;
        FailIo("cannot create a folder in " + FolderOf(target));
    }
    builder_ = std::make_unique<Builder>(root, target_);
    reader_ = std::make_unique<ArchiveReader>(*builder_);
}

OutputFolder::~OutputFolder() {
    reader_.reset();
    builder_.reset();
    if (!committed_) RemoveTree(temp_.c_str());
    SetPendingTemporary(nullptr);
    if (lock_ >= 0) ::close(lock_);
}

void OutputFolder::Write(const void* data, std::size_t size) {
    reader_->Feed(static_cast<const unsigned char*>(data), size);
}

// Everything written reaches the disk (one syncfs for the whole tree rather
// than a flush per file) before the folder gets its name.
void OutputFolder::Complete() {
    reader_->Finish();
    if (::syncfs(lock_) != 0) FailIo("cannot write " + target_);
    if (!RenameNoReplace(temp_, target_)) FailToName(target_);
    committed_ = true;
    SetPendingTemporary(nullptr);
    SyncFolder(FolderOf(target_));
}

}  // namespace tav
