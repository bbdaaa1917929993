#pragma once

#include <string>

namespace tav {

// Throws unless this system stores `name`, a name read from an encrypted
// file, as exactly that one entry inside the folder it is restored into:
// Exit::Damaged for a name no system may take (a path, "." or "..", a NUL),
// Exit::Io for one this system cannot hold. `path` names the entry in the
// message. Every place that turns a stored name into a path asks it.
void CheckStoredName(const std::string& name, const std::string& path);

// This system's part of that check alone, for a name found safe already
// (the folder archive's reader checks that itself).
void RefuseNameThisSystemCannotHold(const std::string& name, const std::string& path);

}  // namespace tav
