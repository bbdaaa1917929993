// What Explorer shows of Druvel.exe: the version block and the icon of
// res/, read back from the program file with the system's own functions.
#include <gtest/gtest.h>

#include "platform/resources.h"
#include "res/resource.h"
#include "tests/win32/file_info.h"

namespace {

TEST(DruvelExe, CarriesTheVersionBlockOfItsResources) {
    const VersionBlock& expected = GetVersionBlock();
    std::uint16_t version[4];
    ASSERT_TRUE(file_info::FileVersion(DRUVEL_EXE, version));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(version[i], expected.fileVersion[i]);
    for (const auto& [name, value] : expected.strings) {
        EXPECT_EQ(file_info::VersionString(DRUVEL_EXE, expected.language, expected.codePage, name), value) << name;
    }
}

TEST(DruvelExe, CarriesItsIcon) {
    EXPECT_EQ(file_info::IconCount(DRUVEL_EXE), 1);
    EXPECT_EQ(file_info::FirstIconWidth(DRUVEL_EXE), LoadIconResource(IDR_MAINFRAME)->width);
}

}  // namespace
