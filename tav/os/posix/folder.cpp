#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "tav/base/failure.h"
#include "tav/os/posix/files.h"
#include "tav/os/folder.h"
#include "tav/os/hardening.h"
#include "tav/os/names.h"

namespace tav {

namespace {

EntryAttributes AttributesOf(const struct stat& st) {
    return {static_cast<std::uint32_t>(st.st_mode) & kStoredModeBits, static_cast<std::int64_t>(st.st_mtim.tv_sec),
            static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
}

// The entry names of the folder open at `fd`, in byte order, so that an
// archive of the same tree is always the same.
std::vector<std::string> SortedNames(int fd, const std::string& path) {
    const int listing = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = listing < 0 ? nullptr : ::fdopendir(listing);
    if (folder == nullptr) {
        if (listing >= 0) ::close(listing);
        FailIo("cannot read the folder " + path);
    }
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

FolderSource::Identity IdentityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

[[noreturn]] void SourceChanged(const std::string& path) {
    throw Failure(Exit::Io, "the source changed while it was read: " + path);
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// The root is taken as given, a link to a folder included; below it, links
// are stored as links.
constexpr int kRootFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Access time left as it is, modification time as stored.
std::array<timespec, 2> StoredTimes(const EntryAttributes& attributes) {
    return {{{0, UTIME_OMIT},
             {static_cast<time_t>(attributes.mtimeSeconds), static_cast<long>(attributes.mtimeNanoseconds)}}};
}

// Gives an open entry its stored mode and time; false, with errno of the
// step that failed, when either did.
bool Settle(int fd, const EntryAttributes& attributes) {
    return ::fchmod(fd, attributes.mode) == 0 && ::futimens(fd, StoredTimes(attributes).data()) == 0;
}

}  // namespace

bool FoldersSupported() { return true; }

FolderSource::FolderSource(const std::string& path) : root_(::open(path.c_str(), kRootFlags)) {
    struct stat st;
    if (root_ < 0 || ::fstat(root_, &st) != 0) {
        const int error = errno;
        if (root_ >= 0) ::close(root_);
        errno = error;
        FailIo("cannot read the folder " + path);
    }
    try {
        Record root;
        root.type = RecordType::Folder;
        root.attributes = AttributesOf(st);
        AddRecord(root);
        Descriptor folder(::fcntl(root_, F_DUPFD_CLOEXEC, 0));
        WalkFolder(folder, IdentityOf(st), path, "", 0);
        AddRecord(Record{});
    } catch (...) {
        ::close(root_);
        throw;
    }
}

FolderSource::~FolderSource() { ::close(root_); }

// Every entry is looked at through its parent's descriptor without following
// links, so what is stored is what was listed, even while someone swaps a
// subfolder for a link.
void FolderSource::WalkFolder(Descriptor& folder, const Identity& own, const std::string& path,
                              const std::string& relative, unsigned depth) {
    for (const std::string& name : SortedNames(folder.get(), path)) {
        const std::string childPath = path + "/" + name;
        const std::string childRelative = relative.empty() ? name : relative + "/" + name;
        if (name.size() > kMaxEntryNameSize) throw Failure(Exit::Io, "name too long: " + childPath);
        struct stat st;
        if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) FailIo("cannot read " + childPath);
        Record record;
        record.name = name;
        record.attributes = AttributesOf(st);
        if (S_ISDIR(st.st_mode)) {
            if (depth + 1 == kMaxFolderDepth) throw Failure(Exit::Io, "folders nested too deeply: " + childPath);
            record.type = RecordType::Folder;
            AddRecord(record);
            DescendInto(folder, own, IdentityOf(st), name, childPath, childRelative, depth + 1);
            AddRecord(Record{});
        } else if (S_ISREG(st.st_mode)) {
            record.type = RecordType::File;
            record.size = static_cast<std::uint64_t>(st.st_size);
            AddRecord(record);
            if (record.size == 0) continue;
            pieces_.push_back({size_, record.size, files_.size(), true});
            files_.push_back({childPath, childRelative, IdentityOf(st), record.size});
            size_ += record.size;
        } else if (S_ISLNK(st.st_mode)) {
            std::string target(kMaxLinkTargetSize + 1, '\0');
            const ssize_t length = ::readlinkat(folder.get(), name.c_str(), target.data(), target.size());
            if (length < 0) FailIo("cannot read the link " + childPath);
            if (static_cast<std::size_t>(length) > kMaxLinkTargetSize) {
                throw Failure(Exit::Io, "link target too long: " + childPath);
            }
            target.resize(static_cast<std::size_t>(length));
            record.type = RecordType::Link;
            record.linkTarget = target;
            AddRecord(record);
        } else {
            throw Failure(Exit::Io, "not a file, folder or link: " + childPath);
        }
    }
}

// Walks the subfolder `name` holding no descriptor of its parent meanwhile,
// so that a tree of any depth needs a handful of descriptors, then comes back
// through ".." and checks that it is the same parent.
void FolderSource::DescendInto(Descriptor& folder, const Identity& own, const Identity& listed,
                               const std::string& name, const std::string& path, const std::string& relative,
                               unsigned depth) {
    Descriptor child(::openat(folder.get(), name.c_str(), kFolderFlags));
    struct stat st;
    if (child.get() < 0 || ::fstat(child.get(), &st) != 0) FailIo("cannot read the folder " + path);
    if (IdentityOf(st) != listed) SourceChanged(path);
    folder.Reset(-1);
    WalkFolder(child, IdentityOf(st), path, relative, depth);
    folder.Reset(::openat(child.get(), "..", kFolderFlags));
    struct stat back;
    if (folder.get() < 0 || ::fstat(folder.get(), &back) != 0 || IdentityOf(back) != own) SourceChanged(path);
}

// Opens the file anew for each read, so that a tree of any size needs no
// descriptors kept open, beneath the root and without following any link on
// the way, and checks that it is still the file walked.
void FolderSource::ReadFile(const File& file, std::uint64_t offset, unsigned char* buffer, std::size_t size) const {
    open_how how{};
    how.flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    const Descriptor fd(static_cast<int>(::syscall(SYS_openat2, root_, file.relative.c_str(), &how, sizeof how)));
    if (fd.get() < 0) {
        if (errno == ELOOP || errno == EXDEV) SourceChanged(file.path);
        FailIo("cannot open " + file.path);
    }
    struct stat st;
    const bool same = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && IdentityOf(st) == file.identity &&
                      static_cast<std::uint64_t>(st.st_size) == file.size;
    const ssize_t got = same ? ReadFullyAt(fd.get(), offset, buffer, size) : 0;
    if (got < 0) FailIo("cannot read " + file.path);
    if (static_cast<std::size_t>(got) < size) SourceChanged(file.path);
}

// Creates what the archive reader asks for, each entry relative to its
// parent's descriptor. Only the folder being filled is held open: a folder
// is left through "..", so any depth the archive allows needs a handful of
// descriptors. Restored permissions pass through the user's umask, as an
// archiver gives them to an ordinary user.
class OutputFolder::Builder : public FolderBuilder {
public:
    // `root`: a descriptor of the folder being built, which the builder takes.
    Builder(int root, std::string target, mode_t umask) : root_(root), target_(std::move(target)), umask_(umask) {}

    void BeginFolder(const std::string& name, const EntryAttributes& attributes) override {
        if (modes_.empty()) {
            folder_.Reset(root_.Release());
        } else {
            if (::mkdirat(folder_.get(), name.c_str(), 0700) != 0) Fail(name);
            folder_.Reset(::openat(folder_.get(), name.c_str(), kFolderFlags));
        }
        if (folder_.get() < 0) Fail(name);
        modes_.push_back(Masked(attributes));
    }

    // A folder's own mode and time are set once everything in it is there,
    // after its parent is open again: the mode may shut its owner out.
    void EndFolder() override {
        const EntryAttributes attributes = modes_.back();
        modes_.pop_back();
        Descriptor parent(modes_.empty() ? -1 : ::openat(folder_.get(), "..", kFolderFlags));
        if (!modes_.empty() && parent.get() < 0) Fail("");
        if (!Settle(folder_.get(), attributes)) Fail("");
        folder_.Reset(parent.Release());
    }

    void BeginFile(const std::string& name, const EntryAttributes& attributes) override {
        file_.Reset(::openat(folder_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file_.get() < 0) Fail(name);
        fileAttributes_ = Masked(attributes);
    }

    void FileData(const unsigned char* data, std::size_t size) override {
        if (!WriteFully(file_.get(), data, size)) Fail("");
    }

    void EndFile() override {
        const bool settled = Settle(file_.get(), fileAttributes_);
        const int fd = file_.Release();
        if (::close(fd) != 0 || !settled) Fail("");
    }

    void Link(const std::string& name, const std::string& target, const EntryAttributes& attributes) override {
        if (::symlinkat(target.c_str(), folder_.get(), name.c_str()) != 0) Fail(name);
        if (::utimensat(folder_.get(), name.c_str(), StoredTimes(attributes).data(), AT_SYMLINK_NOFOLLOW) != 0) {
            Fail(name);
        }
    }

private:
    EntryAttributes Masked(EntryAttributes attributes) const {
        attributes.mode &= ~static_cast<std::uint32_t>(umask_);
        return attributes;
    }

    // A name that is there already can only come from the archive itself.
    [[noreturn]] void Fail(const std::string& name) const {
        if (errno == EEXIST) throw Failure(Exit::Damaged, "the stored folder holds a name twice: " + name);
        FailIo("cannot write " + target_);
    }

    Descriptor root_;
    std::string target_;
    mode_t umask_;
    Descriptor folder_;
    std::vector<EntryAttributes> modes_;  // of every folder begun and not yet ended
    Descriptor file_;
    EntryAttributes fileAttributes_;
};

namespace {

// The folder being built lies inside a hidden folder of TAV's own, beside a
// marker file that says so; the marker, the lock and the owner together tell
// an abandoned one of TAV's from anything a user made.
constexpr const char* kMarkerName = "TAV-folder-in-progress";
constexpr const char* kBuildName = "folder";
constexpr char kMarker[] = "TAV: a folder being decrypted; removed when no TAV holds it.\n";
constexpr std::size_t kMarkerSize = sizeof kMarker - 1;
constexpr std::size_t kTemporaryNameSize = 11;  // ".TAV-" and six characters

bool IsTemporaryName(const std::string& name) {
    return name.size() == kTemporaryNameSize && name.compare(0, 5, ".TAV-") == 0;
}

bool HoldsOurMarker(int folder) {
    const Descriptor marker(::openat(folder, kMarkerName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    char bytes[kMarkerSize];
    return marker.get() >= 0 && ::fstat(marker.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
           static_cast<std::size_t>(st.st_size) == kMarkerSize &&
           ReadFullyAt(marker.get(), 0, bytes, kMarkerSize) == static_cast<ssize_t>(kMarkerSize) &&
           std::memcmp(bytes, kMarker, kMarkerSize) == 0;
}

// Nothing but the marker and the folder being built.
bool HoldsOnlyOurEntries(int folder, const std::string& path) {
    try {
        for (const std::string& name : SortedNames(folder, path)) {
            if (name != kMarkerName && name != kBuildName) return false;
        }
        return true;
    } catch (const Failure&) {
        return false;
    }
}

// A folder that a run killed outright (SIGKILL, a power cut) could not
// remove is removed by the next successful folder decryption in the same
// place, when it is provably one of TAV's: named by its pattern, this
// user's, private, unchanged for a minute, holding TAV's marker and nothing
// else, and not locked by a running TAV. Anything else, however alike, is
// left alone.
void RemoveAbandonedFolders(const std::string& parent) {
    DIR* folder = ::opendir(parent.c_str());
    if (folder == nullptr) return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name)) continue;
        const std::string path = parent + "/" + name;
        const Descriptor fd(::openat(::dirfd(folder), name.c_str(), kFolderFlags));
        struct stat st;
        if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700 &&
            now - st.st_mtime > 60 && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && HoldsOurMarker(fd.get()) &&
            HoldsOnlyOurEntries(fd.get(), path)) {
            RemoveTree(path.c_str());
        }
    }
    ::closedir(folder);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0077);
    ::umask(mask);
    return mask;
}

}  // namespace

// Signals wait while the folder is made and registered, so that none can
// end the process with it there and unknown to the cleanup. The folder
// stays locked while it is built, which tells a later run it is not
// abandoned.
OutputFolder::OutputFolder(const std::string& target) : target_(target) {
    RefuseUnusableName(target);
    temp_ = FolderOf(target) + "/.TAV-XXXXXX";
    HoldSignals();
    const bool made = ::mkdtemp(temp_.data()) != nullptr;
    if (made) SetPendingTemporary(temp_.c_str());
    ReleaseSignals();
    if (!made) FailIo("cannot create a folder in " + FolderOf(target));
    lock_ = ::open(temp_.c_str(), kFolderFlags);
    const int root = lock_ < 0 || ::flock(lock_, LOCK_EX) != 0 ? -1 : MakeBuildFolder(lock_);
    if (root < 0) {  // no destructor runs for a constructor that throws
        const int error = errno;
        if (lock_ >= 0) ::close(lock_);
        RemoveTree(temp_.c_str());
        SetPendingTemporary(nullptr);
        errno = error;
        FailIo("cannot create a folder in " + FolderOf(target));
    }
    builder_ = std::make_unique<Builder>(root, target_, CurrentUmask());
    reader_ = std::make_unique<ArchiveReader>(*builder_, RefuseNameThisSystemCannotHold);
}

// Writes the marker into the hidden folder open at `temporary` and makes
// the folder to build in; a descriptor of that folder, or -1.
int OutputFolder::MakeBuildFolder(int temporary) {
    const Descriptor marker(
        ::openat(temporary, kMarkerName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (marker.get() < 0 || !WriteFully(marker.get(), kMarker, kMarkerSize)) return -1;
    if (::mkdirat(temporary, kBuildName, 0700) != 0) return -1;
    return ::openat(temporary, kBuildName, kFolderFlags);
}

OutputFolder::~OutputFolder() {
    reader_.reset();
    builder_.reset();
    RemoveTree(temp_.c_str());
    SetPendingTemporary(nullptr);
    if (lock_ >= 0) ::close(lock_);
}

void OutputFolder::Write(const void* data, std::size_t size) {
    reader_->Feed(static_cast<const unsigned char*>(data), size);
}

// Everything written reaches the disk (one syncfs for the whole tree rather
// than a flush per file) before the folder gets its name; what is left of
// the hidden folder, the marker, goes with the destructor.
void OutputFolder::Complete() {
    reader_->Finish();
    if (::syncfs(lock_) != 0) FailIo("cannot write " + target_);
    if (!RenameNoReplace(temp_ + "/" + kBuildName, target_)) FailToName(target_);
    SyncFolder(FolderOf(target_));
    RemoveAbandonedFolders(FolderOf(target_));
}

}  // namespace tav
