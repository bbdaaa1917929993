#include "platform/path.h"

#include <gtest/gtest.h>

namespace {

using platform::PathParts;
using platform::SplitPath;

void ExpectParts(const PathParts& parts, const char* drive, const char* dir, const char* fname, const char* ext) {
    EXPECT_EQ(parts.drive, drive);
    EXPECT_EQ(parts.dir, dir);
    EXPECT_EQ(parts.fname, fname);
    EXPECT_EQ(parts.ext, ext);
}

TEST(SplitPath, BothSlashesSeparateFolders) {
    ExpectParts(SplitPath("/home/ann/report.txt", false), "", "/home/ann/", "report", ".txt");
    ExpectParts(SplitPath("C:\\docs/mixed\\report.txt", false), "", "C:\\docs/mixed\\", "report", ".txt");
}

TEST(SplitPath, DriveLetterOnlyWhenAsked) {
    ExpectParts(SplitPath("C:\\docs\\report.txt", true), "C:", "\\docs\\", "report", ".txt");
    ExpectParts(SplitPath("C:\\docs\\report.txt", false), "", "C:\\docs\\", "report", ".txt");
    ExpectParts(SplitPath("1:\\x", true), "", "1:\\", "x", "");
}

TEST(SplitPath, ExtensionStartsAtTheLastDotOfTheName) {
    ExpectParts(SplitPath("/a/old.notes.txt", false), "", "/a/", "old.notes", ".txt");
    ExpectParts(SplitPath("/a/.profile", false), "", "/a/", "", ".profile");
    ExpectParts(SplitPath("/a.d/README", false), "", "/a.d/", "README", "");
    ExpectParts(SplitPath("/a/trailing.", false), "", "/a/", "trailing", ".");
    ExpectParts(SplitPath("/a/", false), "", "/a/", "", "");
    ExpectParts(SplitPath("name.TAV", false), "", "", "name", ".TAV");
}

TEST(StrICmp, IgnoresAsciiCaseOnly) {
    EXPECT_EQ(platform::StrICmp(".tav", ".TAV"), 0);
    EXPECT_EQ(platform::StrICmp(".Tav", ".tAV"), 0);
    EXPECT_LT(platform::StrICmp(".TA", ".TAV"), 0);
    EXPECT_GT(platform::StrICmp(".TAW", ".tav"), 0);
    // Bytes outside ASCII are not folded: a Latin-1 "À" is not "à".
    EXPECT_NE(platform::StrICmp("\xC0", "\xE0"), 0);
}

}  // namespace
