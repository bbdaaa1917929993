#pragma once

#include <string>

// What the POSIX file and folder code share; not for use elsewhere.
namespace tav {

// Throws Failure(Exit::Io) with `what` and the text of errno.
[[noreturn]] void FailIo(const std::string& what);

// Fails unless the last part of `target` can be a name in its folder.
void RefuseUnusableName(const std::string& target);

// Moves `from` to `to` unless `to` exists; false with errno EEXIST when it does.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Makes the folder's entries durable (best effort).
void SyncFolder(const std::string& folder);

}  // namespace tav
