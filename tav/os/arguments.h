#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// The program's arguments, argv[0] first, as TAV is to read them, in UTF-8.
// On POSIX they are `argv` itself, bytes as given. A Windows program gets
// one command line, in UTF-16: TAV reads it whole (the run time's split
// of it is in the ANSI code page, which replaces every character outside
// it), and splits a line of the shape Druvel writes by that shape (see
// SplitQuotedCommandLine), since the run time's splitting loses quotes
// inside a key and reads the backslash before a closing quote as a literal
// quote; anything else is split as the run time does (SplitLikeRunTime).
// The key is wiped from the process's copies of the command line. A line
// that is not valid Unicode (an unpaired surrogate) is refused with a
// usage failure, after it was wiped: no character is ever replaced.
char** ProgramArguments(int& argc, char** argv);

// Splits `line` when it has the shape
//   <program> <operation> "<source>" "<target>" ["<key>"]
// Windows names cannot hold a double quote, so source and target end at
// their closing quote; the key, the last field, is everything between its
// opening quote and the line's last quote, whatever it holds. `fields` gets
// the operation, source, target and key (when there is one), `keyOffset`
// where the key starts in `line`. False when the line has another shape.
bool SplitQuotedCommandLine(std::string_view line, std::vector<std::string>& fields, std::size_t& keyOffset);

// Splits `line` into argv as Windows' C run time does: the program name up
// to its closing quote or the first blank; then arguments separated by
// blanks, in which quotes group blanks into one argument, a doubled quote
// inside quotes is a literal quote, 2n backslashes before a quote stand for
// n and the quote groups, 2n+1 for n and a literal quote, and any other
// backslash is itself. `starts` gets where each one begins in `line`.
std::vector<std::string> SplitLikeRunTime(std::string_view line, std::vector<std::size_t>& starts);

}  // namespace tav
