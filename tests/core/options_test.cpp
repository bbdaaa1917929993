#include "core/options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/workspace.h"

namespace {

constexpr const char* kNewFile =
    "[ENCRYPT]\r\nRounds=1\r\nParanoia=0\r\nSFX=0\r\n[DECRYPT]\r\nIntCheck=1\r\nDelEncrypted=0\r\n";

void ExpectOptions(const Options& o, int rounds, int paranoia, int sfx, int intCheck, int delEncrypted) {
    EXPECT_EQ(o.Rounds, rounds);
    EXPECT_EQ(o.Paranoia, paranoia);
    EXPECT_EQ(o.SFX, sfx);
    EXPECT_EQ(o.IntCheck, intCheck);
    EXPECT_EQ(o.DelEncrypted, delEncrypted);
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override { g_options = Options{-99, -99, -99, -99, -99}; }
    std::string Settings() const { return test::ReadFile(folder_.file("Druvel.ini")); }
    void WriteSettings(const std::string& text) { test::WriteFile(folder_.file("Druvel.ini"), text); }

    test::TempFolder folder_;
};

TEST_F(OptionsTest, PathIsTheCurrentDirectoryAndTheFileName) {
    EXPECT_EQ(SettingsFilePath(), folder_.file("Druvel.ini"));
    std::filesystem::create_directory(folder_.file("sub"));
    std::filesystem::current_path(folder_.file("sub"));
    EXPECT_EQ(SettingsFilePath(), (folder_.path() / "sub" / "Druvel.ini").string()) << "the path is formed anew each time";
    // At the root the separator is not doubled: "/Druvel.ini", "C:\Druvel.ini".
    std::filesystem::current_path("/");
    const std::string root = std::filesystem::current_path().string();
    ASSERT_TRUE(root.back() == '/' || root.back() == '\\');
    EXPECT_EQ(SettingsFilePath(), root + "Druvel.ini");
}

TEST_F(OptionsTest, NoFileCreatesOneWithTheStartValues) {
    LoadOptions();
    ExpectOptions(g_options, 1, 0, 0, 1, 0);
    EXPECT_EQ(Settings(), kNewFile);
}

TEST_F(OptionsTest, EmptyFileGivesTheDefaultsAndStaysEmpty) {
    WriteSettings("");
    LoadOptions();
    ExpectOptions(g_options, 2, 0, 0, 1, 0);
    EXPECT_EQ(Settings(), "");
}

TEST_F(OptionsTest, ValuesLoadAsStoredAndFlagsAsZeroOrOne) {
    WriteSettings("[encrypt]\r\nrounds=12\r\nParanoia=5\r\nSFX=-1\r\n[DECRYPT]\r\nIntCheck=0\r\nDelEncrypted=abc\r\n");
    LoadOptions();
    ExpectOptions(g_options, 12, 1, 1, 0, 0);

    WriteSettings("[ENCRYPT]\r\nRounds=abc\r\n");
    LoadOptions();
    EXPECT_EQ(g_options.Rounds, 0);
}

TEST_F(OptionsTest, SaveRewritesTheFiveValuesAndKeepsEverythingElse) {
    WriteSettings("; mine\r\n[ENCRYPT]\r\nParanoia=5\r\nColour=blue\r\n[Window]\r\nx=10\r\n");
    LoadOptions();
    SaveOptions();
    EXPECT_EQ(Settings(),
              "; mine\r\n[ENCRYPT]\r\nParanoia=1\r\nColour=blue\r\nRounds=2\r\nSFX=0\r\n[Window]\r\nx=10\r\n"
              "[DECRYPT]\r\nIntCheck=1\r\nDelEncrypted=0\r\n");
}

TEST_F(OptionsTest, EveryValueSavedReadsBack) {
    g_options = Options{-3, 1, 1, 0, 1};
    SaveOptions();
    g_options = kStartOptions;
    LoadOptions();
    ExpectOptions(g_options, -3, 1, 1, 0, 1);
}

// A settings file that exists but cannot be read is not replaced: its
// contents would be lost. The start values apply for this run.
TEST_F(OptionsTest, UnreadableFileIsNeitherReadNorReplaced) {
    std::filesystem::create_directory(folder_.file("Druvel.ini"));
    LoadOptions();
    ExpectOptions(g_options, 1, 0, 0, 1, 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder_.file("Druvel.ini")));
}

TEST_F(OptionsTest, UnreadableCurrentDirectoryLeavesStartValuesAndWritesNothing) {
    std::filesystem::create_directory(folder_.file("gone"));
    std::filesystem::current_path(folder_.file("gone"));
    std::error_code error;
    std::filesystem::remove(folder_.file("gone"), error);
    if (error) {
        std::filesystem::current_path(folder_.path());
        GTEST_SKIP() << "this system does not remove a folder that is a current directory";
    }
    EXPECT_EQ(SettingsFilePath(), "");
    LoadOptions();
    ExpectOptions(g_options, 1, 0, 0, 1, 0);
    SaveOptions();
    EXPECT_FALSE(std::filesystem::exists(folder_.file("Druvel.ini")));
}

}  // namespace
