#pragma once

#include <functional>
#include <memory>

#include "tav/base/secure_buffer.h"

// What the key readers of each system share; not for use elsewhere.
namespace tav {

// One line of at most 64 KiB read byte by byte with `readByte` (false at
// the end of the input) into locked memory, without its line ending; a
// usage failure when it is too long.
std::unique_ptr<SecureBuffer> ReadKeyBytes(const std::function<bool(unsigned char&)>& readByte);

// `key` itself, or a usage failure when it is empty.
std::unique_ptr<SecureBuffer> NonEmptyKey(std::unique_ptr<SecureBuffer> key);

}  // namespace tav
