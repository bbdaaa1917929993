// Files on Windows: positional reads through overlapped offsets, and an
// output file that the system deletes unless it is completed: written
// under a hidden name in the target's folder, shared with no one, flushed
// to the disk and then renamed without replacing anything.
#include <windows.h>
#include <winternl.h>
#include <io.h>
#include <sodium.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tav/base/failure.h"
#include "tav/os/files.h"
#include "tav/os/hardening.h"
#include "tav/os/win32/files.h"

namespace tav {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The length of a leading drive ("C:"), if any.
std::size_t DriveLength(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

// The system's text for `error`, in the user's language.
std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length == 0 || !Utf8FromWide(std::wstring_view(text, length), message)) {
        message = "error " + std::to_string(error);
    }
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

int DescriptorFor(HANDLE handle) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (fd < 0) CloseHandle(handle);
    return fd;
}

// Sets or takes off the mark that deletes the file when its last handle closes.
bool MarkForDeletion(HANDLE handle, bool marked) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = marked ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Takes the hidden attribute off the file open at `handle` (the other
// times stay as they are).
bool ShowFile(HANDLE handle) {
    FILE_BASIC_INFO shown{};
    shown.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &shown, sizeof shown) != 0;
}

// Renames through the handle (the file admits no other opener), in its own
// folder, never over an existing file; only then is the mark taken off and
// the file shown. A failure after the rename marks it again, to go with
// the handle.
void NameMarkedFile(HANDLE handle, const std::string& target) {
    std::wstring name;
    WideFromUtf8(BaseName(target), name);  // the whole target converted already
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + (name.size() + 1) * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    if (!SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
        FailToName(target, GetLastError());
    }
    if (!MarkForDeletion(handle, false) || !ShowFile(handle)) {
        const DWORD error = GetLastError();
        MarkForDeletion(handle, true);
        FailIo("cannot create " + target, error);
    }
}

// The path of `path` as the system's own functions name it: "\??\C:\..."
// or "\??\UNC\server\share\...".
std::wstring NtPath(const std::string& path) { return L"\\??\\" + SystemPath(path).substr(4); }

// Gives the file open at `handle` a second name, `target`, never over an
// existing file; the hidden name goes when the handle closes. The file is
// shown first, since the attribute belongs to the file, not the name.
void LinkOpenFile(HANDLE handle, const std::string& target) {
    if (!ShowFile(handle)) FailIo("cannot create " + target);
    const std::wstring name = NtPath(target);
    std::vector<unsigned char> buffer(sizeof(FILE_LINK_INFORMATION) + name.size() * sizeof(wchar_t));
    auto* link = reinterpret_cast<FILE_LINK_INFORMATION*>(buffer.data());
    link->ReplaceIfExists = FALSE;
    link->RootDirectory = nullptr;
    link->FileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::memcpy(link->FileName, name.data(), name.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtSetInformationFile(handle, &io, link, static_cast<ULONG>(buffer.size()),
                                                 static_cast<FILE_INFORMATION_CLASS>(11 /* FileLinkInformation */));
    if (!NT_SUCCESS(status)) FailToName(target, RtlNtStatusToDosError(status));
}

// True when the file system of the file open at `handle` can give it a
// second name: it says so, or it is NTFS, which always could (the flag is
// younger than NTFS's links, and Wine does not set it).
bool HardLinksWork(HANDLE handle) {
    DWORD flags = 0;
    wchar_t system[MAX_PATH + 1] = {};
    if (!GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, system, MAX_PATH + 1)) {
        return false;
    }
    return (flags & FILE_SUPPORTS_HARD_LINKS) != 0 || std::wstring(system) == L"NTFS";
}

}  // namespace

[[noreturn]] void FailIo(const std::string& what, DWORD error) {
    throw Failure(Exit::Io, what + ": " + SystemMessage(error));
}

[[noreturn]] void FailToName(const std::string& target, DWORD error) {
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        throw Failure(Exit::TargetExists, "the target exists already: " + target);
    }
    FailIo("cannot create " + target, error);
}

std::string RandomSuffix() {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix(6, '0');
    for (char& c : suffix) c = kDigits[randombytes_uniform(sizeof kDigits - 1)];
    return suffix;
}

void RefuseUnusableName(const std::string& target) {
    const std::string name = BaseName(target);
    if (name.empty() || name == "." || name == ".." || IsSeparator(target.back())) {
        throw Failure(Exit::Io, "not a file name: " + target);
    }
}

// Not exported under a name of the Windows headers' own; a read at an
// offset of a handle opened for synchronous I/O, waited for.
extern "C" NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc, PVOID apcContext,
                                     PIO_STATUS_BLOCK io, PVOID buffer, ULONG length, PLARGE_INTEGER offset,
                                     PULONG key);

// Through NtReadFile with no completion context rather than ReadFile with
// an OVERLAPPED: ReadFile posts the OVERLAPPED as a completion for every
// read, which Wine turns into a round trip to its server that every worker
// waits for in turn.
bool ReadFullyAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& done) {
    constexpr NTSTATUS kEndOfFile = static_cast<NTSTATUS>(0xC0000011);
    for (done = 0; done < size;) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset + done);
        IO_STATUS_BLOCK io{};
        const ULONG want = static_cast<ULONG>(std::min<std::size_t>(size - done, 1u << 30));
        const NTSTATUS status = NtReadFile(file, nullptr, nullptr, nullptr, &io, static_cast<char*>(buffer) + done, want,
                                           &at, nullptr);
        if (status == kEndOfFile) break;
        if (status < 0) {
            SetLastError(RtlNtStatusToDosError(status));
            return false;
        }
        if (io.Information == 0) break;
        done += io.Information;
    }
    return true;
}

bool WriteFully(HANDLE file, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!WriteFile(file, bytes, want, &written, nullptr)) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

// GetFullPathNameW takes a path of any length; a path of the device
// namespace ("\\.\...") stays one.
std::wstring SystemPath(const std::string& path) {
    std::wstring wide;
    if (!WideFromUtf8(path, wide)) throw Failure(Exit::Io, "not a name Windows can hold (not UTF-8): " + path);
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(length, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), length, full.data(), nullptr));
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

void RemoveTreeWide(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (!link && (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
                SetFileAttributesW(child.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            }
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                DeleteFileW(child.c_str());
            } else if (link) {
                RemoveDirectoryW(child.c_str());
            } else {
                RemoveTreeWide(child);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

void RemoveTree(const char* path) { RemoveTreeWide(SystemPath(path)); }

std::string FolderOf(const std::string& path) {
    const std::size_t drive = DriveLength(path);
    std::size_t slash = path.size();
    while (slash > drive && !IsSeparator(path[slash - 1])) --slash;
    if (slash == drive) return drive > 0 ? path.substr(0, drive) : ".";
    // "C:\" and "\" keep their separator: they are the root.
    return slash == drive + 1 ? path.substr(0, slash) : path.substr(0, slash - 1);
}

// "C:" and "C:\" take the name as they are.
std::string PathIn(const std::string& folder, const std::string& name) {
    return folder + (IsSeparator(folder.back()) || folder.back() == ':' ? "" : "\\") + name;
}

std::string BaseName(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1])) --end;
    std::size_t start = end;
    while (start > DriveLength(path) && !IsSeparator(path[start - 1])) --start;
    return end == 0 ? path : path.substr(start, end - start);
}

std::string OwnProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throw Failure(Exit::Io, "cannot find this program's own file");
        if (length < path.size()) break;
        path.resize(path.size() * 2);
    }
    std::string utf8;
    if (!Utf8FromWide(path.c_str(), utf8)) throw Failure(Exit::Io, "this program's own path is not valid Unicode");
    return utf8;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RefuseExistingTarget(const std::string& path) {
    if (GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        throw Failure(Exit::TargetExists, "the target exists already: " + path);
    }
}

SourceFile::SourceFile(const std::string& path) : path_(path) {
    const HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) FailIo("cannot open " + path);
    // Devices, pipes and consoles open too; only a disk file is read.
    LARGE_INTEGER size;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
        CloseHandle(handle);
        throw Failure(Exit::Io, "not a regular file: " + path);
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    fd_ = DescriptorFor(handle);
    if (fd_ < 0) throw Failure(Exit::Io, "cannot open " + path);
}

SourceFile::~SourceFile() { _close(fd_); }

// Each read names its own offset, so that several threads can read at once.
std::size_t SourceFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    std::size_t done = 0;
    if (!ReadFullyAt(HandleOf(fd_), offset, buffer, size, done)) FailIo("cannot read " + path_);
    return done;
}

// The output starts as a hidden file that nobody else may open (no
// sharing) and that the system deletes when it is closed, however the
// process ends, even when it is ended from outside. It gets its name as a
// second link at the end. Where the file system has no such links, the
// file is marked for deletion right after it is made instead, and renamed
// and unmarked at the end; where it refuses the mark too, the file is
// registered for the console's break handler to remove, and the run
// verifies before it writes.
OutputFile::OutputFile(const std::string& target) : target_(target) {
    RefuseUnusableName(target);
    const std::string folder = FolderOf(target);
    bool tryLinks = true;
    for (int attempt = 0;; ++attempt) {
        temp_ = PathIn(folder, ".TAV-" + RandomSuffix());
        HoldSignals();
        const DWORD deleteOnClose = tryLinks ? FILE_FLAG_DELETE_ON_CLOSE : 0;
        const HANDLE handle = CreateFileW(SystemPath(temp_).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_HIDDEN | deleteOnClose, nullptr);
        const DWORD error = GetLastError();
        if (handle != INVALID_HANDLE_VALUE && tryLinks && !HardLinksWork(handle)) {
            CloseHandle(handle);  // and so deleted
            ReleaseSignals();
            tryLinks = false;
            continue;
        }
        if (handle != INVALID_HANDLE_VALUE) {
            linkAtCommit_ = tryLinks;
            unnamed_ = linkAtCommit_ || MarkForDeletion(handle, true);
            if (!unnamed_) SetPendingTemporary(temp_.c_str());
        }
        ReleaseSignals();
        if (handle != INVALID_HANDLE_VALUE) {
            fd_ = DescriptorFor(handle);
            if (fd_ < 0) throw Failure(Exit::Io, "cannot create a file in " + folder);
            return;
        }
        if (error != ERROR_FILE_EXISTS || attempt == 100) {
            temp_.clear();
            FailIo("cannot create a file in " + folder, error);
        }
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) _close(fd_);
    if (!committed_ && !unnamed_ && !temp_.empty()) DeleteFileW(SystemPath(temp_).c_str());
    SetPendingTemporary(nullptr);
}

void OutputFile::Write(const void* data, std::size_t size) {
    if (!WriteFully(HandleOf(fd_), data, size)) FailIo("cannot write " + target_);
    written_ += size;
}

// Windows has no permission bits to give; the file keeps its folder's
// access rules. The name never replaces an existing target, and the file
// reaches the disk before it gets it.
std::uint32_t NewFileMode() { return 0666; }

void OutputFile::Commit(std::uint32_t /*permissions*/) {
    const HANDLE handle = HandleOf(fd_);
    if (!FlushFileBuffers(handle)) FailIo("cannot write " + target_);
    if (linkAtCommit_) {
        LinkOpenFile(handle, target_);
        if (_close(std::exchange(fd_, -1)) != 0) FailIo("cannot write " + target_);
    } else if (unnamed_) {
        NameMarkedFile(handle, target_);
        if (_close(std::exchange(fd_, -1)) != 0) FailIo("cannot write " + target_);
    } else {
        if (_close(std::exchange(fd_, -1)) != 0) FailIo("cannot write " + target_);
        const std::wstring temporary = SystemPath(temp_);
        SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExW(temporary.c_str(), SystemPath(target_).c_str(), MOVEFILE_WRITE_THROUGH)) {
            FailToName(target_, GetLastError());
        }
    }
    committed_ = true;
    SetPendingTemporary(nullptr);
}

}  // namespace tav
