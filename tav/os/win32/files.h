#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "tav/os/win32/unicode.h"

// What the Windows file and folder code share; not for use elsewhere.
namespace tav {

// Throws Failure(Exit::Io) with `what` and the system's text for `error`.
[[noreturn]] void FailIo(const std::string& what, DWORD error = GetLastError());

// After giving `target` its name failed with `error`: Exit::TargetExists
// when something is there already, else Exit::Io.
[[noreturn]] void FailToName(const std::string& target, DWORD error);

// Six random letters and digits, for a temporary name.
std::string RandomSuffix();

// `path`, a UTF-8 path as TAV's command line gives it, as the system's
// wide functions take it: a full "\\?\C:\..." (or "\\?\UNC\server\...")
// path, so that no 260-character limit applies. Fails for bytes that are
// not UTF-8, which no Windows name holds.
std::wstring SystemPath(const std::string& path);

// Fails unless the last part of `target` can be a name in its folder.
void RefuseUnusableName(const std::string& target);

// Reads up to `size` bytes at `offset`, each read naming its own offset
// (several threads may read one file at once); `done` is fewer than `size`
// only at the end of the file. False on an error.
bool ReadFullyAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& done);

// Writes all `size` bytes; false on an error.
bool WriteFully(HANDLE file, const void* data, std::size_t size);

// Removes the folder at `path` (a long path) and everything in it; a link
// inside is removed, never followed.
void RemoveTreeWide(const std::wstring& path);

// A handle closed when it goes out of scope (the name is the seam's, where
// POSIX holds a descriptor).
class Descriptor {
public:
    explicit Descriptor(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Descriptor() { Reset(INVALID_HANDLE_VALUE); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle) {
        if (valid()) {
            const DWORD error = GetLastError();
            CloseHandle(handle_);
            SetLastError(error);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

}  // namespace tav
