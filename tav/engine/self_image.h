#pragma once

#include <cstdint>
#include <string>

#include "tav/os/files.h"

namespace tav {

// This program's own executable and how many of its bytes are the program
// (a self-decrypting copy carries data behind it).
struct SelfImage {
    std::string path;
    std::uint64_t programSize = 0;
    bool carriesData = false;
};
SelfImage FindSelfImage();

// True when `file` ends in a usable trailer of a self-decrypting program;
// `dataOffset` (where the encrypted data starts) is set only then.
bool FindTrailer(const SourceFile& file, std::uint64_t& dataOffset);

}  // namespace tav
