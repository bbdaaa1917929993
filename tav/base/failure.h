#pragma once

#include <stdexcept>
#include <string>

namespace tav {

// Exit statuses; each failure also prints one line on standard error.
enum class Exit : int {
    Ok = 0,
    Usage = 1,         // bad arguments: operation word, rounds, empty key, source equal to target
    WrongKey = 2,      // the key does not open this file
    Damaged = 3,       // not a TAV file, unsupported version or parameters, any change to the data
    TargetExists = 4,  // the target is already there; it is left untouched
    Io = 5,            // the source cannot be read or the target cannot be written
};

// Thrown for every failure; main() prints the message and exits with `code`.
class Failure : public std::runtime_error {
public:
    Failure(Exit code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Exit code() const { return code_; }

private:
    Exit code_;
};

}  // namespace tav
