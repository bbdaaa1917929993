#include "core/command_line.h"

#include "platform/system/path.h"

namespace {

constexpr const char* kEncryptedExtension = ".TAV";
constexpr const char* kSelfDecryptingExtension = ".EXE";

// "report.txt" becomes "report_txt.TAV": the extension's dot turns into an
// underscore. A name without extension gets a lone underscore ("README_.TAV")
// so that decryption can tell it apart from one whose extension was empty.
std::string EncryptionTarget(const platform::PathParts& parts, const Options& options) {
    std::string extension = parts.ext.empty() ? std::string("_") : "_" + parts.ext.substr(1);
    return parts.drive + parts.dir + parts.fname + extension +
           (options.SFX != 0 ? kSelfDecryptingExtension : kEncryptedExtension);
}

// "report_txt" becomes "report.txt": the last underscore turns back into a
// dot. An underscore at the very end stood for a name without extension and
// is dropped, so "README_" gives back "README" rather than "README.".
std::string DecryptionTarget(const platform::PathParts& parts) {
    std::string name = parts.fname;
    const std::size_t underscore = name.rfind('_');
    if (underscore == std::string::npos) return parts.drive + parts.dir + name;
    if (underscore + 1 == name.size()) {
        name.pop_back();
    } else {
        name[underscore] = '.';
    }
    return parts.drive + parts.dir + name;
}

std::string EncryptionOperation(const Options& options) {
    return (options.SFX != 0 ? "a" : "e") + std::to_string(options.Rounds) + (options.Paranoia != 0 ? "+" : "");
}

bool IsEncryptedExtension(std::string_view extension) {
    return platform::StrICmp(extension, kEncryptedExtension) == 0;
}

std::string Quoted(const std::string& field) { return "\"" + field + "\""; }

}  // namespace

std::string CommandLine::text() const {
    return operation + " " + Quoted(source) + " " + Quoted(target) + " " + Quoted(key);
}

std::vector<std::string> CommandLine::arguments() const { return {operation, source, target, key}; }

bool IsEncryptedFileName(std::string_view path) {
    return IsEncryptedExtension(platform::SplitPath(path).ext);
}

void BuildCommandLine(const std::string& source, const Options& options, const std::string& key,
                      CommandLine& out) {
    const platform::PathParts parts = platform::SplitPath(source);
    const bool decrypt = IsEncryptedExtension(parts.ext);
    out.operation = decrypt ? (options.IntCheck != 0 ? "D" : "d") : EncryptionOperation(options);
    out.source = source;
    out.target = decrypt ? DecryptionTarget(parts) : EncryptionTarget(parts, options);
    out.key = key;
}
