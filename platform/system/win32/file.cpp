// Files on Windows, in the ANSI code page's bytes as the program is written.
// The settings file is replaced by writing a hidden file beside it, flushing
// it to the disk and moving it over the old one in one step (write-through),
// so the old file or the new one is there whatever happens. A hidden file
// that a killed save left is removed once it is a minute old.
#include <windows.h>

#include <random>

#include "platform/system/file.h"
#include "platform/system/path.h"

namespace platform {

namespace {

constexpr const char* kTemporaryPrefix = ".druvel-";
constexpr ULONGLONG kStaleAfter100ns = 60ull * 10'000'000ull;

// The folder part of `path`, with its final separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const PathParts parts = SplitPath(path);
    return parts.drive + parts.dir;
}

ULONGLONG AsNumber(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void RemoveStaleTemporaries(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(JoinPath(folder, std::string(kTemporaryPrefix) + "??????").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            AsNumber(now) - AsNumber(entry.ftLastWriteTime) > kStaleAfter100ns) {
            DeleteFileA(JoinPath(folder, entry.cFileName).c_str());
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

bool WriteAll(HANDLE file, std::string_view contents) {
    while (!contents.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr)) return false;
        contents.remove_prefix(written);
    }
    return true;
}

// A new hidden file in `folder` holding `contents`, flushed to the disk.
bool WriteTemporary(const std::string& folder, std::string_view contents, std::string& name) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = JoinPath(folder, kTemporaryPrefix);
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        const HANDLE file =
            CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return false;
        }
        const bool written = WriteAll(file, contents) && FlushFileBuffers(file);
        if (CloseHandle(file) && written) return true;
        DeleteFileA(name.c_str());
        return false;
    }
    return false;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    const std::string folder = FolderOf(path);
    RemoveStaleTemporaries(folder);
    std::string temporary;
    if (!WriteTemporary(folder, contents, temporary)) return false;
    // The new file takes the old one's attributes (a hidden or read-only
    // settings file stays so); it is not hidden otherwise.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    SetFileAttributesA(temporary.c_str(), attributes != INVALID_FILE_ATTRIBUTES ? attributes & ~FILE_ATTRIBUTE_READONLY
                                                                                : FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

bool FileOrFolderExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string CurrentFolder() {
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    std::string folder(size, '\0');
    const DWORD length = size == 0 ? 0 : GetCurrentDirectoryA(size, folder.data());
    folder.resize(length < size ? length : 0);
    return folder;
}

}  // namespace platform
