// Folders on Windows, in the same archive as on Linux, so that a folder
// travels both ways. Names are UTF-16 on the disk and UTF-8 in the
// archive, and every path is a "\\?\" path, so a deep tree is limited by the
// system's 32,767 characters, not by 260. How each part of a folder
// crosses (docs/tav-format.md says the same):
// - A name that Windows cannot hold as it is (IsWindowsName), or that
//   differs from another in the same folder only by case: the whole
//   folder is refused, naming the entry. Nothing is renamed or dropped.
// - Permission bits: a file without its owner's write bit gets the
//   read-only attribute; stored from Windows, a read-only file is 0444,
//   any other 0644 and a folder 0755 (the user's umask applies on Linux).
// - Modification times: to the 100 ns that Windows keeps.
// - Links: never followed. A Windows folder holding a link or junction is
//   refused; a stored link is restored as a symbolic link where the system
//   lets this user make one (a relative target only), else refused.
#include <windows.h>
#include <io.h>

#include <algorithm>
#include <vector>

#include "tav/base/failure.h"
#include "tav/os/folder.h"
#include "tav/os/hardening.h"
#include "tav/os/names.h"
#include "tav/os/win32/files.h"

namespace tav {

namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr std::int64_t kTicksPerSecond = 10000000;  // of 100 ns

EntryAttributes AttributesOf(DWORD attributes, const LARGE_INTEGER& written) {
    const std::int64_t ticks = written.QuadPart;
    EntryAttributes stored;
    stored.mode = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0  ? 0755
                  : (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444
                                                                : 0644;
    stored.mtimeSeconds = ticks / kTicksPerSecond - kSecondsFrom1601To1970;
    stored.mtimeNanoseconds = static_cast<std::uint32_t>(ticks % kTicksPerSecond) * 100;
    return stored;
}

// A stored time as Windows keeps it; one before 1601 becomes 1601.
LARGE_INTEGER WriteTimeOf(const EntryAttributes& attributes) {
    LARGE_INTEGER time;
    time.QuadPart = attributes.mtimeSeconds < -kSecondsFrom1601To1970
                        ? 0
                        : (attributes.mtimeSeconds + kSecondsFrom1601To1970) * kTicksPerSecond +
                              attributes.mtimeNanoseconds / 100;
    return time;
}

std::wstring Wide(const std::string& utf8) {
    std::wstring wide;
    WideFromUtf8(utf8, wide);
    return wide;
}

FolderSource::Identity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

[[noreturn]] void SourceChanged(const std::string& path) {
    throw Failure(Exit::Io, "the source changed while it was read: " + path);
}

// Opens an entry itself, a link or junction included, never what it leads to.
HANDLE OpenEntry(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

struct Listed {
    std::string name;  // UTF-8
    DWORD attributes;
    LARGE_INTEGER written;
    std::uint64_t size;
    std::uint64_t fileId;
};

// The entries of the folder open at `folder`, read through the handle, in
// byte order of their UTF-8 names, as on Linux.
std::vector<Listed> SortedEntries(HANDLE folder, const std::string& path) {
    std::vector<Listed> entries;
    std::vector<unsigned char> buffer(64 << 10);
    for (auto kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
        if (!GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
            if (GetLastError() == ERROR_NO_MORE_FILES) break;
            FailIo("cannot read the folder " + path);
        }
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::wstring wide(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (wide != L"." && wide != L"..") {
                Listed listed{{}, entry->FileAttributes, entry->LastWriteTime,
                              static_cast<std::uint64_t>(entry->EndOfFile.QuadPart),
                              static_cast<std::uint64_t>(entry->FileId.QuadPart)};
                if (!Utf8FromWide(wide, listed.name)) throw Failure(Exit::Io, "a name that is not Unicode in " + path);
                entries.push_back(std::move(listed));
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
    return entries;
}

}  // namespace

bool FoldersSupported() { return true; }

// The root is taken as given, a link to a folder included; below it,
// nothing is followed.
FolderSource::FolderSource(const std::string& path) {
    Utf8FromWide(SystemPath(path), rootPath_);
    Descriptor folder(CreateFileW(Wide(rootPath_).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder.valid() || !GetFileInformationByHandle(folder.get(), &info)) FailIo("cannot read the folder " + path);
    Record record;
    record.type = RecordType::Folder;
    LARGE_INTEGER written;
    written.LowPart = info.ftLastWriteTime.dwLowDateTime;
    written.HighPart = static_cast<LONG>(info.ftLastWriteTime.dwHighDateTime);
    record.attributes = AttributesOf(info.dwFileAttributes, written);
    AddRecord(record);
    WalkFolder(folder, IdentityOf(info), path, "", 0);
    AddRecord(Record{});
}

FolderSource::~FolderSource() = default;

void FolderSource::WalkFolder(Descriptor& folder, const Identity& own, const std::string& path,
                              const std::string& relative, unsigned depth) {
    for (const Listed& entry : SortedEntries(folder.get(), path)) {
        const std::string childPath = path + "\\" + entry.name;
        const std::string childRelative = relative.empty() ? entry.name : relative + "\\" + entry.name;
        if (entry.name.size() > kMaxEntryNameSize) throw Failure(Exit::Io, "name too long: " + childPath);
        if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            throw Failure(Exit::Io, "links and junctions are not taken from Windows folders: " + childPath);
        }
        Record record;
        record.name = entry.name;
        record.attributes = AttributesOf(entry.attributes, entry.written);
        const Identity listed{own.device, entry.fileId};
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (depth + 1 == kMaxFolderDepth) throw Failure(Exit::Io, "folders nested too deeply: " + childPath);
            record.type = RecordType::Folder;
            AddRecord(record);
            DescendInto(folder, own, listed, entry.name, childPath, childRelative, depth + 1);
            AddRecord(Record{});
        } else {
            record.type = RecordType::File;
            record.size = entry.size;
            AddRecord(record);
            if (record.size == 0) continue;
            pieces_.push_back({size_, record.size, files_.size(), true});
            files_.push_back({childPath, childRelative, listed, record.size});
            size_ += record.size;
        }
    }
}

// Opens the subfolder by its full path and walks it only when it is the
// folder listed, not a link or another folder swapped in meanwhile.
void FolderSource::DescendInto(Descriptor& /*folder*/, const Identity& /*own*/, const Identity& listed,
                               const std::string& /*name*/, const std::string& path, const std::string& relative,
                               unsigned depth) {
    Descriptor child(OpenEntry(Wide(rootPath_ + "\\" + relative), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES));
    BY_HANDLE_FILE_INFORMATION info;
    if (!child.valid() || !GetFileInformationByHandle(child.get(), &info)) FailIo("cannot read the folder " + path);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || IdentityOf(info) != listed) {
        SourceChanged(path);
    }
    WalkFolder(child, listed, path, relative, depth);
}

// Opens the file anew for each read, so that a tree of any size needs no
// handles kept open, and reads only the very file walked, at its size.
void FolderSource::ReadFile(const File& file, std::uint64_t offset, unsigned char* buffer, std::size_t size) const {
    const Descriptor handle(OpenEntry(Wide(rootPath_ + "\\" + file.relative), GENERIC_READ));
    if (!handle.valid()) FailIo("cannot open " + file.path);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        IdentityOf(info) != file.identity ||
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow) != file.size) {
        SourceChanged(file.path);
    }
    std::size_t done = 0;
    if (!ReadFullyAt(handle.get(), offset, buffer, size, done)) FailIo("cannot read " + file.path);
    if (done < size) SourceChanged(file.path);
}

// Creates what the archive reader asks for, by full paths inside the
// folder being built, each entry only where nothing is.
class OutputFolder::Builder : public FolderBuilder {
public:
    Builder(std::wstring root, std::string target) : root_(std::move(root)), target_(std::move(target)) {}

    void BeginFolder(const std::string& name, const EntryAttributes& attributes) override {
        const std::wstring path = folders_.empty() ? root_ : Child(name);
        if (!folders_.empty() && !CreateDirectoryW(path.c_str(), nullptr)) Fail(name);
        folders_.push_back({path, Relative(name), attributes});
    }

    // A folder's time is set once everything in it is there.
    void EndFolder() override {
        const Folder folder = folders_.back();
        folders_.pop_back();
        const Descriptor handle(OpenEntry(folder.path, FILE_WRITE_ATTRIBUTES));
        FILE_BASIC_INFO basic{};
        basic.LastWriteTime = WriteTimeOf(folder.attributes);
        if (!handle.valid() || !SetFileInformationByHandle(handle.get(), FileBasicInfo, &basic, sizeof basic)) {
            FailIo("cannot write " + target_);
        }
    }

    void BeginFile(const std::string& name, const EntryAttributes& attributes) override {
        file_.Reset(CreateFileW(Child(name).c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_.valid()) Fail(name);
        fileAttributes_ = attributes;
    }

    void FileData(const unsigned char* data, std::size_t size) override {
        if (!WriteFully(file_.get(), data, size)) FailIo("cannot write " + target_);
    }

    // Each file reaches the disk before the folder gets its name.
    void EndFile() override {
        FILE_BASIC_INFO basic{};
        basic.LastWriteTime = WriteTimeOf(fileAttributes_);
        basic.FileAttributes = (fileAttributes_.mode & 0200) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(file_.get(), FileBasicInfo, &basic, sizeof basic) ||
            !FlushFileBuffers(file_.get())) {
            FailIo("cannot write " + target_);
        }
        file_.Reset(INVALID_HANDLE_VALUE);
    }

    // A relative target only, its separators Windows's; a folder link when
    // its target is a folder already restored.
    void Link(const std::string& name, const std::string& target, const EntryAttributes& /*attributes*/) override {
        const std::wstring path = Child(name);
        std::wstring wideTarget;
        if (!WideFromUtf8(target, wideTarget) || target.front() == '/' || target.find(':') != std::string::npos) {
            throw Failure(Exit::Io, "a link to an absolute path is not restored on Windows: " + Relative(name));
        }
        std::replace(wideTarget.begin(), wideTarget.end(), L'/', L'\\');
        const DWORD targetAttributes = GetFileAttributesW((folders_.back().path + L"\\" + wideTarget).c_str());
        const DWORD kind = targetAttributes != INVALID_FILE_ATTRIBUTES &&
                                   (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                               ? SYMBOLIC_LINK_FLAG_DIRECTORY
                               : 0;
        // A system that only says it made the link (Wine does) made none.
        const bool made = CreateSymbolicLinkW(path.c_str(), wideTarget.c_str(),
                                              kind | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (!made || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            throw Failure(Exit::Io, "this system does not let TAV make the link " + Relative(name));
        }
    }

private:
    struct Folder {
        std::wstring path;
        std::string relative;
        EntryAttributes attributes;
    };

    std::string Relative(const std::string& name) const {
        const std::string parent = folders_.empty() ? std::string() : folders_.back().relative;
        return parent.empty() ? name : parent + "\\" + name;
    }

    // The archive's reader has found the name one Windows holds.
    std::wstring Child(const std::string& name) const { return folders_.back().path + L"\\" + Wide(name); }

    // A path beyond what the system takes fails with a code that says
    // little (Wine, whose Unix paths end at 4,096 bytes, says "general
    // failure"): the message says what it was.
    [[noreturn]] void Fail(const std::string& name) const {
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            throw Failure(Exit::Io, "two names differ only by case, which Windows does not tell apart: " +
                                        Relative(name));
        }
        const std::size_t length = Child(name).size();
        if ((error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_GEN_FAILURE) && length > MAX_PATH) {
            throw Failure(Exit::Io, "the path is too long for this system (" + std::to_string(length) +
                                        " characters): " + Relative(name));
        }
        FailIo("cannot make " + Relative(name) + " in " + target_, error);
    }

    std::wstring root_;
    std::string target_;
    std::vector<Folder> folders_;  // every folder begun and not yet ended
    Descriptor file_;
    EntryAttributes fileAttributes_;
};

namespace {

// The folder being built lies inside a hidden folder of TAV's own, beside a
// marker file that a running TAV holds open, shared with no one; an
// abandoned one is told from anything a user made by its name, its marker
// and nothing else in it.
constexpr const wchar_t* kMarkerName = L"TAV-folder-in-progress";
constexpr const wchar_t* kBuildName = L"folder";
constexpr char kMarker[] = "TAV: a folder being decrypted; removed when no TAV holds it.\n";
constexpr DWORD kMarkerSize = sizeof kMarker - 1;

HANDLE OpenMarker(const std::wstring& folder, DWORD creation) {
    return CreateFileW((folder + L"\\" + kMarkerName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, creation,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool HoldsOnlyOurEntries(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool ours = true;
    do {
        const std::wstring name = found.cFileName;
        ours = name == L"." || name == L".." || name == kMarkerName || name == kBuildName;
    } while (ours && FindNextFileW(search, &found));
    FindClose(search);
    return ours;
}

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// Removes what a run ended from outside (Task Manager, a power cut) left in
// `parent`, when it is provably one of TAV's: named by its pattern, hidden,
// unchanged for a minute, its marker there and held by no TAV, and nothing
// else in it. Anything else, however alike, is left alone.
void RemoveAbandonedFolders(const std::string& parent) {
    const std::wstring folder = SystemPath(parent);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\.TAV-??????").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    constexpr DWORD kKind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        if ((found.dwFileAttributes & kKind) != (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN) ||
            Ticks(now) - Ticks(found.ftLastWriteTime) < 60 * kTicksPerSecond) {
            continue;
        }
        const std::wstring candidate = folder + L"\\" + found.cFileName;
        Descriptor marker(OpenMarker(candidate, OPEN_EXISTING));
        char bytes[kMarkerSize];
        DWORD got = 0;
        if (marker.valid() && ::ReadFile(marker.get(), bytes, kMarkerSize, &got, nullptr) && got == kMarkerSize &&
            std::equal(bytes, bytes + kMarkerSize, kMarker) && HoldsOnlyOurEntries(candidate)) {
            marker.Reset(INVALID_HANDLE_VALUE);
            RemoveTreeWide(candidate);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

// The hidden folder is made and registered for the console's break
// handler with no break in between; the marker stays open, shared with no
// one, while the folder is built, which tells a later run it is not
// abandoned.
OutputFolder::OutputFolder(const std::string& target) : target_(target) {
    RefuseUnusableName(target);
    const std::string parent = FolderOf(target);
    for (int attempt = 0;; ++attempt) {
        temp_ = PathIn(parent, ".TAV-" + RandomSuffix());
        HoldSignals();
        const bool made = CreateDirectoryW(SystemPath(temp_).c_str(), nullptr) != 0;
        const DWORD error = GetLastError();
        if (made) SetPendingTemporary(temp_.c_str());
        ReleaseSignals();
        if (made) break;
        if (error != ERROR_ALREADY_EXISTS || attempt == 100) {
            temp_.clear();
            FailIo("cannot create a folder in " + parent, error);
        }
    }
    const std::wstring temporary = SystemPath(temp_);
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const HANDLE marker = OpenMarker(temporary, CREATE_NEW);
    DWORD written = 0;
    const bool ready = marker != INVALID_HANDLE_VALUE && WriteFile(marker, kMarker, kMarkerSize, &written, nullptr) &&
                       written == kMarkerSize && CreateDirectoryW((temporary + L"\\" + kBuildName).c_str(), nullptr);
    const DWORD error = GetLastError();
    if (marker != INVALID_HANDLE_VALUE) lock_ = _open_osfhandle(reinterpret_cast<intptr_t>(marker), 0);
    if (!ready || lock_ < 0) {  // no destructor runs for a constructor that throws
        if (lock_ >= 0) _close(lock_);
        RemoveTree(temp_.c_str());
        SetPendingTemporary(nullptr);
        FailIo("cannot create a folder in " + parent, error);
    }
    builder_ = std::make_unique<Builder>(temporary + L"\\" + kBuildName, target_);
    reader_ = std::make_unique<ArchiveReader>(*builder_, RefuseNameThisSystemCannotHold);
}

OutputFolder::~OutputFolder() {
    reader_.reset();
    builder_.reset();
    if (lock_ >= 0) _close(lock_);
    RemoveTree(temp_.c_str());
    SetPendingTemporary(nullptr);
}

void OutputFolder::Write(const void* data, std::size_t size) {
    reader_->Feed(static_cast<const unsigned char*>(data), size);
}

// The folder gets its name, never replacing anything; what is left of the
// hidden folder, the marker, goes with the destructor.
void OutputFolder::Complete() {
    reader_->Finish();
    const std::wstring built = SystemPath(temp_) + L"\\" + kBuildName;
    if (!MoveFileExW(built.c_str(), SystemPath(target_).c_str(), MOVEFILE_WRITE_THROUGH)) {
        FailToName(target_, GetLastError());
    }
    RemoveAbandonedFolders(FolderOf(target_));
}

}  // namespace tav
