#include "core/command_line.h"

#include <gtest/gtest.h>

namespace {

Options With(int rounds, int paranoia, int sfx, int intCheck) { return Options{rounds, paranoia, sfx, intCheck, 0}; }

CommandLine Build(const std::string& source, const Options& options, const std::string& key = "k") {
    CommandLine command;
    BuildCommandLine(source, options, key, command);
    return command;
}

// The direction from the extension (".TAV" in any case), the operation
// word from the options as stored, and the target named next to the
// source; an encrypted name given back decrypts to `back`.
TEST(BuildCommandLine, OperationAndTargetOfEverySource) {
    const Options o = With(1, 0, 0, 1);
    const std::string folder = "/" + std::string(300, 'd') + "/", longName = std::string(300, 'n');
    const struct { std::string source; Options options; const char* operation; std::string target, back = ""; } cases[] = {
        {"C:\\docs\\report.txt", With(3, 1, 0, 0), "e3+", "C:\\docs\\report_txt.TAV"},
        {"C:\\docs\\report_txt.TAV", With(1, 0, 0, 0), "d", "C:\\docs\\report.txt"},
        {"C:\\a\\REPORT_TXT.Tav", With(7, 1, 1, 1), "D", "C:\\a\\REPORT.TXT"},  // decryption ignores the rest
        {"/a/x.txt", With(12, 0, 0, 1), "e12", "/a/x_txt.TAV"},
        {"/a/x.txt", With(0, 0, 1, 1), "a0", "/a/x_txt.EXE"},
        {"/a/x.txt", With(-4, 1, 0, 1), "e-4+", "/a/x_txt.TAV"},
        {"/a/my_notes.txt", o, "e1", "/a/my_notes_txt.TAV", "/a/my_notes.txt"},
        {"/a/data.tar_gz", o, "e1", "/a/data_tar_gz.TAV", "/a/data_tar.gz"},  // an underscore in the extension is lost
        {"/a/old.notes.txt", o, "e1", "/a/old.notes_txt.TAV", "/a/old.notes.txt"},
        {"/a/.profile", o, "e1", "/a/_profile.TAV", "/a/.profile"},
        {"/a/README", o, "e1", "/a/README_.TAV", "/a/README"},
        {"/a.d/README", o, "e1", "/a.d/README_.TAV", "/a.d/README"},
        {"/a/x.EXE", o, "e1", "/a/x_EXE.TAV", "/a/x.EXE"},
        {"C:\\a\\plain.TAV", o, "D", "C:\\a\\plain"},
        {"C:\\a\\.TAV", o, "D", "C:\\a\\"},
        {folder + longName + "." + std::string(40, 'e'), o, "e1", folder + longName + "_" + std::string(40, 'e') + ".TAV"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 40));
        const CommandLine command = Build(c.source, c.options);
        EXPECT_EQ(command.operation, c.operation);
        EXPECT_EQ(command.target, c.target);
        EXPECT_EQ(c.back.empty() ? "" : Build(command.target, o).target, c.back);
    }
}

// Nothing is escaped or cut: a key with quotes, backslashes and blanks, as long as it may be.
TEST(BuildCommandLine, TextAndArgumentsCarryTheFieldsWhole) {
    const std::string key = std::string(5000, 'k') + "se\"cr et\\";
    const CommandLine command = Build("C:\\docs\\report.txt", With(3, 1, 0, 0), key);
    EXPECT_EQ(command.text(), "e3+ \"C:\\docs\\report.txt\" \"C:\\docs\\report_txt.TAV\" \"" + key + "\"");
    EXPECT_EQ(command.arguments(), (std::vector<std::string>{"e3+", "C:\\docs\\report.txt", "C:\\docs\\report_txt.TAV", key}));
}

}  // namespace
