#pragma once

#include <span>

namespace tav {

// The program at the front of every self-decrypting file (stub.cpp), built
// for this system and compiled into TAV.
std::span<const unsigned char> StubImage();

}  // namespace tav
