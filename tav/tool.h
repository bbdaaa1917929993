#pragma once

#include <memory>
#include <string>

#include "tav/engine/encrypted_file.h"
#include "tav/os/files.h"
#include "tav/os/key.h"

namespace tav {

// What TAV and the program at the front of a self-decrypting file share:
// how a decryption reaches its target, and how a run starts and ends.

// Where the plaintext of `file` goes: a file, or a folder when it holds one.
// Made before the key derivation, so that an unusable target fails at once.
std::unique_ptr<PlainTarget> TargetFor(const EncryptedFile& file, const std::string& target);

// Decrypts an opened file into `out`. With `verifyFirst` no plaintext is
// visible under any name before every byte has been authenticated.
void DecryptInto(EncryptedFile& file, PlainTarget& out, bool verifyFirst);

// A program's main(): takes the key off the command line first, hardens the
// process, calls `run`, reports a failure on standard error (and where the
// system has one, in a notification) and returns the exit status.
using ToolBody = int (*)(int argc, char** argv, KeyArgument* keyArgument);
int RunTool(int argc, char** argv, ToolBody run);

}  // namespace tav
