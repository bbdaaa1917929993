#pragma once

namespace tav {

// Guards for the whole run, set up before anything else: no core dumps (they
// would hold the key and the derived keys), writes past a file-size limit
// fail as ordinary errors, and every catchable signal that would end the
// process first removes the pending temporary file and restores the
// terminal. A signal the parent set to be ignored stays ignored.
void HardenProcess();

// The named temporary file, or temporary folder with all it holds, that a
// fatal signal removes (nullptr: none). Only one output is ever pending.
void SetPendingTemporary(const char* path);

// Holds every signal back until ReleaseSignals(), so that a temporary can
// be made and registered with SetPendingTemporary() with no signal in
// between. Not nested; errno survives the release.
void HoldSignals();
void ReleaseSignals();

// Removes the folder at `path` and everything in it, links never followed.
// Async-signal-safe on POSIX, so that the signal cleanup can use it too.
void RemoveTree(const char* path);

// Overwrites a generous stretch of the stack below the caller, where the
// cryptography library's work areas held copies of key material.
void WipeStack();

}  // namespace tav
