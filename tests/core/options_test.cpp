#include "core/options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/workspace.h"

namespace {

namespace fs = std::filesystem;

std::vector<int> Held() {
    return {g_options.Rounds, g_options.Paranoia, g_options.SFX, g_options.IntCheck, g_options.DelEncrypted};
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override { g_options = Options{-99, -99, -99, -99, -99}; }
    std::string Settings() const { return test::ReadFile(file_); }

    test::TempFolder folder_;
    const std::string file_ = folder_.file("Druvel.ini");
};

// What loading takes from the settings file, and what the file holds after:
// without one, a new one with the start values; one that is there is only read.
TEST_F(OptionsTest, LoadingTakesValuesAsStoredAndFlagsAsZeroOrOne) {
    // The file before (nullptr: none), the options loaded, the file after (nullptr: as before).
    const struct { const char* before; std::vector<int> loaded; const char* after; } cases[] = {
        {nullptr, {1, 0, 0, 1, 0}, "[ENCRYPT]\r\nRounds=1\r\nParanoia=0\r\nSFX=0\r\n[DECRYPT]\r\nIntCheck=1\r\nDelEncrypted=0\r\n"},
        {"", {2, 0, 0, 1, 0}, nullptr},
        {"[encrypt]\r\nrounds=12\r\nParanoia=5\r\nSFX=-1\r\n[DECRYPT]\r\nIntCheck=0\r\nDelEncrypted=abc\r\n", {12, 1, 1, 0, 0}, nullptr},
        {"[ENCRYPT]\r\nRounds=abc\r\n", {0, 0, 0, 1, 0}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before != nullptr ? c.before : "no file");
        fs::remove(file_);
        if (c.before != nullptr) test::WriteFile(file_, c.before);
        LoadOptions();
        EXPECT_EQ(Held(), c.loaded);
        EXPECT_EQ(Settings(), c.after != nullptr ? c.after : c.before);
    }
}

TEST_F(OptionsTest, SaveRewritesTheFiveValuesAndKeepsEverythingElse) {
    test::WriteFile(file_, "; mine\r\n[ENCRYPT]\r\nParanoia=5\r\nColour=blue\r\n[Window]\r\nx=10\r\n");
    LoadOptions();
    g_options.Rounds = -3;
    SaveOptions();
    EXPECT_EQ(Settings(), "; mine\r\n[ENCRYPT]\r\nParanoia=1\r\nColour=blue\r\nRounds=-3\r\nSFX=0\r\n[Window]\r\nx=10\r\n"
                          "[DECRYPT]\r\nIntCheck=1\r\nDelEncrypted=0\r\n");
}

// A settings file that is there but cannot be read is not replaced (its
// contents would be lost), nor is one written where the current directory
// cannot be read: the start values apply for this run.
TEST_F(OptionsTest, WhatCannotBeReadIsNeitherReadNorReplaced) {
    fs::create_directory(file_);
    LoadOptions();
    EXPECT_EQ(Held(), (std::vector<int>{1, 0, 0, 1, 0}));
    EXPECT_TRUE(fs::is_directory(file_));

    fs::remove(file_);
    fs::create_directory(folder_.file("gone"));
    fs::current_path(folder_.file("gone"));
    std::error_code error;
    fs::remove(folder_.file("gone"), error);
    if (error) {
        fs::current_path(folder_.path());
        GTEST_SKIP() << "this system does not remove a folder that is a current directory";
    }
    EXPECT_EQ(SettingsFilePath(), "");
    g_options = Options{-99, -99, -99, -99, -99};
    LoadOptions();
    EXPECT_EQ(Held(), (std::vector<int>{1, 0, 0, 1, 0}));
    SaveOptions();
    EXPECT_FALSE(fs::exists(file_));
}

}  // namespace
