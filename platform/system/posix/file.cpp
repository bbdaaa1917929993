#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/system/file.h"

namespace platform {

namespace {

// Hidden temporary files of ours: this prefix and six characters from mkostemp.
constexpr const char* kTemporaryPrefix = ".druvel-";
constexpr std::size_t kTemporaryNameSize = 8 + 6;
// A temporary file this old belongs to no save still under way.
constexpr std::time_t kStaleAfterSeconds = 60;
constexpr int kMaxLinks = 40;

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Flushes the folder entry of a rename to the disk; a failure here cannot
// be undone and only weakens durability, so it is not reported.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The file a chain of symbolic links ends in, whether or not it exists, so
// that a settings file kept elsewhere and linked into the folder stays where
// it is. Empty for a chain that loops.
std::string ResolveLinks(std::string path) {
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t size = ::readlink(path.c_str(), target.data(), target.size());
        if (size < 0 || static_cast<std::size_t>(size) >= target.size()) return path;
        const std::string link(target.data(), static_cast<std::size_t>(size));
        path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
    }
    return {};
}

bool IsOurTemporaryName(const char* name) {
    return std::strlen(name) == kTemporaryNameSize && std::strncmp(name, kTemporaryPrefix, 8) == 0;
}

// Removes what a save killed between naming its temporary file and renaming
// it left behind; a fresh one may belong to a save under way in another process.
void RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsOurTemporaryName(entry->d_name)) continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && now - st.st_mtime > kStaleAfterSeconds) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

std::string RandomTemporaryName(const std::string& folder) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string name = folder + "/" + kTemporaryPrefix;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

// Gives the unnamed file `fd` a hidden unique name in `folder`; `name` is
// left empty when that fails.
bool NameUnnamedFile(int fd, const std::string& folder, std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = RandomTemporaryName(folder);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// A new file with `contents` and `mode` in `folder`, flushed to the disk and
// under a hidden name; the bytes are written while the file has no name at
// all, so that a kill then leaves nothing.
bool WriteTemporary(const std::string& folder, std::string_view contents, mode_t mode, std::string& name) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    const bool unnamed = fd >= 0;
    if (!unnamed) {
        name = folder + "/" + kTemporaryPrefix + "XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return false;
    }
    bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, contents) && ::fsync(fd) == 0;
    if (written && unnamed) written = NameUnnamedFile(fd, folder, name);
    written = ::close(fd) == 0 && written;
    if (!written && !name.empty()) ::unlink(name.c_str());
    return written;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& requestedPath, std::string_view contents) {
    const std::string path = ResolveLinks(requestedPath);
    if (path.empty()) return false;
    const std::string folder = FolderOf(path);
    RemoveStaleTemporaries(folder);

    struct stat existing;
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    std::string temporary;
    if (!WriteTemporary(folder, contents, mode, temporary)) return false;
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

FileRead ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return errno == ENOENT ? FileRead::Missing : FileRead::Unreadable;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? FileRead::Unreadable : FileRead::Read;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool FileOrFolderExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
}

std::string CurrentFolder() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    return error ? std::string() : folder.string();
}

}  // namespace platform
