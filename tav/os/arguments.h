#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// The program's arguments, argv[0] first, as TAV is to read them. On POSIX
// they are `argv` itself. A Windows program gets one command line that its
// run time splits, and that splitting loses quotes inside a key and reads
// the backslash before a closing quote as a literal quote; so a command
// line of the shape Druvel writes is split by its shape instead (see
// SplitQuotedCommandLine), and the key is wiped from the process's copies
// of the command line. Anything else is split as the run time does.
char** ProgramArguments(int& argc, char** argv);

// Splits `line` when it has the shape
//   <program> <operation> "<source>" "<target>" ["<key>"]
// Windows names cannot hold a double quote, so source and target end at
// their closing quote; the key, the last field, is everything between its
// opening quote and the line's last quote, whatever it holds. `fields` gets
// the operation, source, target and key (when there is one), `keyOffset`
// where the key starts in `line`. False when the line has another shape.
bool SplitQuotedCommandLine(std::string_view line, std::vector<std::string>& fields, std::size_t& keyOffset);

}  // namespace tav
