#pragma once

#include <cstddef>
#include <string_view>

// The names an encrypted file stores: a self-decrypting file's name, which
// it restores next to itself, and the entries of a folder. Each is only
// ever made as one entry inside the folder being restored.
namespace tav {

inline constexpr std::size_t kMaxEntryNameSize = 255;

// What every system demands: one path component, never "." or "..", no
// "/" and no NUL, at most 255 bytes.
bool IsSafeEntryName(std::string_view name);

// What Windows stores as exactly that one entry, beyond that: valid UTF-8;
// none of < > : " \ | ? * nor a control character (a colon would name a
// stream of a file, or a drive); no trailing dot or blank, which Windows
// drops; and no device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to
// COM9 and LPT0 to LPT9, the superscript digits 1, 2 and 3 counting as
// digits), with or without an extension or blanks before it.
bool IsWindowsName(std::string_view name);

}  // namespace tav
