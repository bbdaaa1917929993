#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// What the Windows file and folder code share; not for use elsewhere.
namespace tav {

// Throws Failure(Exit::Io) with `what` and the system's text for `error`.
[[noreturn]] void FailIo(const std::string& what, DWORD error = GetLastError());

// After giving `target` its name failed with `error`: Exit::TargetExists
// when something is there already, else Exit::Io.
[[noreturn]] void FailToName(const std::string& target, DWORD error);

// Six random letters and digits, for a temporary name.
std::string RandomSuffix();

// A path as TAV's command line gives it (the ANSI code page), as UTF-16.
std::wstring WideFromAnsi(const std::string& text);

// UTF-8 from UTF-16; false for a string with a lone surrogate.
bool Utf8FromWide(const std::wstring& wide, std::string& utf8);

// UTF-16 from UTF-8; false for bytes that are not UTF-8.
bool WideFromUtf8(const std::string& utf8, std::wstring& wide);

// Fails unless the last part of `target` can be a name in its folder.
void RefuseUnusableName(const std::string& target);

// Reads up to `size` bytes at `offset`, each read naming its own offset
// (several threads may read one file at once); `done` is fewer than `size`
// only at the end of the file. False on an error.
bool ReadFullyAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& done);

// Writes all `size` bytes; false on an error.
bool WriteFully(HANDLE file, const void* data, std::size_t size);

// The full path "\\?\C:\..." (or "\\?\UNC\server\share\..."): the system
// takes it as it is, without the 260-character limit.
std::wstring LongPath(const std::wstring& path);

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
