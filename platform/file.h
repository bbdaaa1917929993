#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces (or creates) the file at `path` with `contents` atomically: the
// data goes to a new file in the same folder, is flushed to the disk and then
// renamed over the old one, so a crash or a full disk leaves either the old
// file or the new one, never a truncated mix. An existing file keeps its
// permission bits; a symbolic link is followed and its target replaced.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace platform
