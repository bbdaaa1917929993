#pragma once

// What Explorer reads from a program file, through the system's own
// functions; standard types only (see tests/ui/real_input.h).

#include <cstdint>
#include <string>

namespace file_info {

// The four numbers of the fixed file version; false without a version block.
bool FileVersion(const std::string& program, std::uint16_t (&version)[4]);

// A string of the version block in the block for `language` and `codePage`,
// or "<none>".
std::string VersionString(const std::string& program, unsigned language, unsigned codePage, const std::string& name);

// How many icons the program file holds, and the width of the first.
int IconCount(const std::string& program);
int FirstIconWidth(const std::string& program);

}  // namespace file_info
