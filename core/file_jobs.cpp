#include "core/file_jobs.h"

#include "platform/system/file.h"
#include "platform/system/process.h"
#include "platform/text.h"

namespace {

constexpr const char* kToolName = "TAV";

bool RoundsUsable(std::int32_t rounds) { return rounds >= 0 && rounds <= kMaxToolRounds; }

}  // namespace

std::string BatchProblem(const std::vector<std::string>& sources, const std::string& key) {
    if (sources.empty()) return "";
    // The key is hashed as the UTF-8 of what was typed; half of a surrogate
    // pair has none, and any stand-in would make another key.
    if (!platform::IsValidUtf8(key)) {
        return "The key holds a character that is not valid Unicode (half of a surrogate pair), so it cannot be "
               "used exactly as typed. Type the key again. No file was processed.";
    }
    CommandLine command;
    for (const std::string& source : sources) {
        BuildCommandLine(source, g_options, key, command);
        if (!IsEncryptedFileName(source) && !RoundsUsable(g_options.Rounds)) {
            return "The rounds set in Druvel.ini (" + std::to_string(g_options.Rounds) +
                   ") cannot be used: TAV takes 0 to " + std::to_string(kMaxToolRounds) +
                   ". Choose them under Options > Settings. No file was processed.";
        }
        if (!platform::CommandFitsSystem(kToolName, command.arguments(), command.text())) {
            return "The key (" + std::to_string(platform::CharacterCount(key)) +
                   " characters) is too long to hand to TAV with these file names. Use a shorter key. No file "
                   "was processed.";
        }
    }
    return "";
}

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
        platform::RemoveFile(source);
    }
}
