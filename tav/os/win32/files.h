#pragma once

#include <windows.h>

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
