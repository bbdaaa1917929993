#include "core/file_jobs.h"

#include <cstdio>

#include "platform/file.h"
#include "platform/process.h"

namespace {

constexpr const char* kToolName = "TAV";

}  // namespace

int RunTool(const CommandLine& command) {
    return platform::RunProgramAndWait(kToolName, command.arguments(), command.text());
}

void ProcessFile(const std::string& source, const std::string& key) {
    CommandLine command;
    BuildCommandLine(source, g_options, key, command);
    const int status = RunTool(command);
    // Only the encrypted input of a successful decryption is ever deleted,
    // and only when the decrypted file is there: a tool that says it
    // succeeded without writing anything must not cost the only copy.
    if (status == 0 && g_options.DelEncrypted != 0 && IsEncryptedFileName(source) &&
        platform::FileOrFolderExists(command.target)) {
        std::remove(source.c_str());
    }
}
