#pragma once

#include <string>
#include <vector>

#include "core/command_line.h"

// One file job: builds the command for `source` from g_options and `key`,
// runs the tool and, after a successful decryption with DelEncrypted set,
// deletes the encrypted source once the decrypted target exists. Failures
// are silent; the caller goes on.
void ProcessFile(const std::string& source, const std::string& key);

// Why the tool cannot be run for the batch `sources` with `key` and
// g_options, in words for the user, or an empty string when it can (or
// there is nothing to run): a key that is not valid Unicode, rounds outside
// what the tool takes, or a command too long for the system.
std::string BatchProblem(const std::vector<std::string>& sources, const std::string& key);

// Runs the tool "TAV" from the current directory with `command` and waits.
// Returns its exit status, -1 when it cannot be started; a tool ended by a
// signal gives a non-zero status.
int RunTool(const CommandLine& command);
