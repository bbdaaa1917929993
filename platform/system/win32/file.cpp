// Files on Windows, named through the wide functions as full "\\?\" paths,
// so that every name arrives as it is and long paths work. The settings
// file is replaced by writing a hidden file beside it, flushing it to the
// disk and moving it over the old one in one step (write-through), so the
// old file or the new one is there whatever happens. A hidden file that a
// killed save left is removed once it is a minute old.
#include <windows.h>

#include <random>

#include "platform/system/file.h"
#include "platform/system/path.h"
#include "platform/system/win32/wide.h"

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

bool DeleteNamedFile(const std::string& path) {
    std::wstring system;
    return SystemPath(path, system) && DeleteFileW(system.c_str());
}

void RemoveStaleTemporaries(const std::string& folder) {
    std::wstring pattern;
    if (!SystemPath(JoinPath(folder, std::string(kTemporaryPrefix) + "??????"), pattern)) return;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            AsNumber(now) - AsNumber(entry.ftLastWriteTime) > kStaleAfter100ns) {
            DeleteNamedFile(JoinPath(folder, TextFromWide(entry.cFileName)));
        }
    } while (FindNextFileW(search, &entry));
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
bool WriteTemporary(const std::string& folder, std::string_view contents, std::wstring& name) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = JoinPath(folder, kTemporaryPrefix);
        for (int i = 0; i < 6; ++i) candidate += kLetters[random() % (sizeof kLetters - 1)];
        if (!SystemPath(candidate, name)) return false;
        const HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return false;
        }
        const bool written = WriteAll(file, contents) && FlushFileBuffers(file);
        if (CloseHandle(file) && written) return true;
        DeleteFileW(name.c_str());
        return false;
    }
    return false;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    const std::string folder = FolderOf(path);
    std::wstring target;
    if (!SystemPath(path, target)) return false;
    RemoveStaleTemporaries(folder);
    std::wstring temporary;
    if (!WriteTemporary(folder, contents, temporary)) return false;
    // The new file takes the old one's attributes (a hidden or read-only
    // settings file stays so); it is not hidden otherwise.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    SetFileAttributesW(temporary.c_str(), attributes != INVALID_FILE_ATTRIBUTES ? attributes & ~FILE_ATTRIBUTE_READONLY
                                                                                 : FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

FileRead ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    std::wstring system;
    if (!SystemPath(path, system)) return FileRead::Unreadable;
    const HANDLE file = CreateFileW(system.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                              : FileRead::Unreadable;
    }
    char buffer[4096];
    DWORD got = 0;
    bool read = true;
    while ((read = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0) {
        contents.append(buffer, got);
    }
    CloseHandle(file);
    return read ? FileRead::Read : FileRead::Unreadable;
}

bool RemoveFile(const std::string& path) { return DeleteNamedFile(path); }

bool FileOrFolderExists(const std::string& path) {
    std::wstring system;
    return SystemPath(path, system) && GetFileAttributesW(system.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string CurrentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetCurrentDirectoryW(size, folder.data());
    folder.resize(length < size ? length : 0);
    return TextFromWide(folder);
}

}  // namespace platform
