#include "core/command_line.h"

#include <gtest/gtest.h>

namespace {

Options With(int rounds, int paranoia, int sfx, int intCheck) { return Options{rounds, paranoia, sfx, intCheck, 0}; }

CommandLine Build(const std::string& source, const Options& options, const std::string& key = "k") {
    CommandLine command;
    BuildCommandLine(source, options, key, command);
    return command;
}

struct Example {
    const char* source;
    Options options;
    const char* operation;
    const char* target;
};

TEST(BuildCommandLine, WorkedExamples) {
    const Example examples[] = {
        {"C:\\docs\\report.txt", With(3, 1, 0, 0), "e3+", "C:\\docs\\report_txt.TAV"},
        {"C:\\docs\\report.txt", With(1, 0, 1, 0), "a1", "C:\\docs\\report_txt.EXE"},
        {"C:\\docs\\report_txt.tav", With(1, 0, 0, 1), "D", "C:\\docs\\report.txt"},
        {"C:\\docs\\report_txt.TAV", With(1, 0, 0, 0), "d", "C:\\docs\\report.txt"},
        {"/home/ann/report.txt", With(2, 0, 0, 1), "e2", "/home/ann/report_txt.TAV"},
    };
    for (const Example& e : examples) {
        const CommandLine command = Build(e.source, e.options);
        EXPECT_EQ(command.operation, e.operation) << e.source;
        EXPECT_EQ(command.source, e.source);
        EXPECT_EQ(command.target, e.target) << e.source;
    }
}

TEST(BuildCommandLine, TextAndArgumentsCarryTheFieldsUnescaped) {
    const CommandLine command = Build("C:\\docs\\report.txt", With(3, 1, 0, 0), "se\"cr et\\");
    EXPECT_EQ(command.text(), "e3+ \"C:\\docs\\report.txt\" \"C:\\docs\\report_txt.TAV\" \"se\"cr et\\\"");
    EXPECT_EQ(command.arguments(),
              (std::vector<std::string>{"e3+", "C:\\docs\\report.txt", "C:\\docs\\report_txt.TAV", "se\"cr et\\"}));
}

TEST(BuildCommandLine, RoundsArePrintedAsStored) {
    EXPECT_EQ(Build("/a/x.txt", With(12, 0, 0, 1)).operation, "e12");
    EXPECT_EQ(Build("/a/x.txt", With(0, 0, 1, 1)).operation, "a0");
    EXPECT_EQ(Build("/a/x.txt", With(-4, 1, 0, 1)).operation, "e-4+");
}

TEST(BuildCommandLine, DecryptionIgnoresCaseAndKeepsTheNamesCase) {
    for (const char* source : {"C:\\a\\REPORT_TXT.tav", "C:\\a\\REPORT_TXT.Tav", "C:\\a\\REPORT_TXT.TAV"}) {
        // Decryption ignores rounds, paranoia and self-decrypting output.
        const CommandLine command = Build(source, With(7, 1, 1, 1));
        EXPECT_EQ(command.operation, "D") << source;
        EXPECT_EQ(command.target, "C:\\a\\REPORT.TXT") << source;
    }
}

TEST(BuildCommandLine, TargetNaming) {
    const Options o = With(1, 0, 0, 1);
    // source, its encrypted name, and what that decrypts to
    const char* cases[][3] = {
        {"/a/my_notes.txt", "/a/my_notes_txt.TAV", "/a/my_notes.txt"},
        {"/a/data.tar_gz", "/a/data_tar_gz.TAV", "/a/data_tar.gz"},  // an underscore in the extension is lost
        {"/a/old.notes.txt", "/a/old.notes_txt.TAV", "/a/old.notes.txt"},
        {"/a/.profile", "/a/_profile.TAV", "/a/.profile"},
        {"/a/README", "/a/README_.TAV", "/a/README"},
        {"/a.d/README", "/a.d/README_.TAV", "/a.d/README"},
        {"/a/x.EXE", "/a/x_EXE.TAV", "/a/x.EXE"},
    };
    for (const auto& c : cases) {
        const CommandLine encrypted = Build(c[0], o);
        EXPECT_EQ(encrypted.target, c[1]);
        EXPECT_EQ(Build(encrypted.target, o).target, c[2]);
    }
}

TEST(BuildCommandLine, EncryptedNamesWithoutUnderscore) {
    const Options o = With(1, 0, 0, 1);
    EXPECT_EQ(Build("C:\\a\\plain.TAV", o).target, "C:\\a\\plain");
    EXPECT_EQ(Build("C:\\a\\.TAV", o).target, "C:\\a\\");
}

TEST(BuildCommandLine, NothingIsTruncated) {
    const std::string folder = "/" + std::string(300, 'd') + "/";
    const std::string source = folder + std::string(300, 'n') + "." + std::string(40, 'e');
    const std::string key(5000, 'k');
    const CommandLine command = Build(source, With(1, 0, 0, 1), key);
    EXPECT_EQ(command.target, folder + std::string(300, 'n') + "_" + std::string(40, 'e') + ".TAV");
    EXPECT_EQ(command.key, key);
    EXPECT_EQ(command.text().size(), 2 + 3 * 3 + source.size() + command.target.size() + key.size());
}

}  // namespace
