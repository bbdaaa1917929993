#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces (or creates) the file at `path` with `contents` atomically: the
// data goes to a new file in the same folder (an unnamed one where the file
// system has them), is flushed to the disk and then renamed over the old
// one, so a crash, a kill or a full disk leaves either the old file or the
// new one, never a truncated mix. An existing file keeps its permission
// bits; a symbolic link stays a link and its target is written, even where
// the target does not exist yet. A hidden temporary file of ours that an
// earlier, killed save left in the folder is removed.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

enum class FileRead { Read, Missing, Unreadable };

// The whole contents of the file at `path`. Missing: there is no such file
// (or folder on the way); Unreadable: it is there but cannot be read.
FileRead ReadWholeFile(const std::string& path, std::string& contents);

// Deletes the file at `path`; false when it could not.
bool RemoveFile(const std::string& path);

// True when `path` is a file or a folder now (a link to one does not count).
bool FileOrFolderExists(const std::string& path);

// The process's current directory (on Windows in generalised UTF-8,
// platform/text.h; elsewhere in the system's own bytes); empty when it
// cannot be found.
std::string CurrentFolder();

}  // namespace platform
