#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tav/base/secure_buffer.h"

namespace tav {

// The key given on the command line. It is copied out of the argument and
// the argument overwritten at construction, which main() does before
// anything else (the cryptography library's start-up included), so that
// the key shows in the process list for as short a time as possible.
class KeyArgument {
public:
    explicit KeyArgument(char* argument);
    ~KeyArgument();
    KeyArgument(const KeyArgument&) = delete;
    KeyArgument& operator=(const KeyArgument&) = delete;

    // The key in locked memory, the copy wiped; needs the cryptography
    // library started. Fails for an empty key.
    std::unique_ptr<SecureBuffer> Take();

private:
    std::vector<unsigned char> bytes_;
};

// The key as TAV.exe took it before it read its command line in Unicode:
// in the system's ANSI code page. Only for a key that has characters
// beyond ASCII, all of which that code page holds exactly; nullptr for
// any other key, and on systems whose TAV always took the key's bytes as
// they came. A file that the key does not open is tried once more with
// this one, so that files encrypted that way keep opening.
std::unique_ptr<SecureBuffer> KeyInEarlierEncoding(const SecureBuffer& key);

// Reads one line as the key: from the terminal without echo after `prompt`,
// or from standard input when that is not a terminal.
std::unique_ptr<SecureBuffer> ReadKeyLine(const char* prompt);

}  // namespace tav
