#pragma once

#include <cstdint>
#include <string>

#include "tav/os/files.h"

namespace tav {

// This program's own executable, and whether it carries encrypted data
// behind it (a self-decrypting file does).
struct SelfImage {
    std::string path;
    bool carriesData = false;
};
SelfImage FindSelfImage();

// True when `file` ends in a usable trailer of a self-decrypting program;
// `dataOffset` (where the encrypted data starts) is set only then.
bool FindTrailer(const SourceFile& file, std::uint64_t& dataOffset);

}  // namespace tav
