#include "platform/system/path.h"

#include <gtest/gtest.h>

namespace {

// Target naming covers the splitting rules at length; these are the parts it cannot see on Linux.
TEST(SplitPath, DriveLetterOnlyWhenAsked) {
    const platform::PathParts windows = platform::SplitPath("C:\\docs/mixed\\report.txt", true);
    EXPECT_EQ(windows.drive, "C:");
    EXPECT_EQ(windows.dir, "\\docs/mixed\\");
    EXPECT_EQ(platform::SplitPath("C:\\docs\\report.txt", false).dir, "C:\\docs\\");
    EXPECT_EQ(platform::SplitPath("1:\\x", true).drive, "");
}

TEST(StrICmp, FoldsAsciiLettersOnly) {
    EXPECT_EQ(platform::StrICmp(".Tav", ".tAV"), 0);
    EXPECT_LT(platform::StrICmp(".TA", ".TAV"), 0);
    EXPECT_NE(platform::StrICmp("\xC0", "\xE0"), 0);
}

}  // namespace
