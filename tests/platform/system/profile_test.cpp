#include "platform/system/profile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "tests/support/workspace.h"

namespace {

using platform::Profile;

Profile Parsed(const std::string& text) {
    Profile profile;
    profile.SetText(text);
    return profile;
}

TEST(ProfileRead, NumbersAsTheProfileFunctionsReadThem) {
    const Profile p = Parsed(
        "[S]\r\nplain=12\r\nsigned=-7\r\nplus=+3\r\ntail=42abc\r\nword=abc\r\nempty=\r\n"
        "huge=99999999999\r\ntiny=-99999999999\r\nhex=0x10\r\n");
    EXPECT_EQ(p.GetInt("S", "plain", 5), 12);
    EXPECT_EQ(p.GetInt("S", "signed", 5), -7);
    EXPECT_EQ(p.GetInt("S", "plus", 5), 3);
    EXPECT_EQ(p.GetInt("S", "tail", 5), 42);
    EXPECT_EQ(p.GetInt("S", "word", 5), 0);
    EXPECT_EQ(p.GetInt("S", "empty", 5), 5);
    EXPECT_EQ(p.GetInt("S", "huge", 5), 2147483647);
    EXPECT_EQ(p.GetInt("S", "tiny", 5), -2147483647 - 1);
    EXPECT_EQ(p.GetInt("S", "hex", 5), 0);
    EXPECT_EQ(p.GetInt("S", "missing", 5), 5);
    EXPECT_EQ(p.GetInt("Other", "plain", 5), 5);
}

TEST(ProfileRead, ToleratesWhatPeopleWriteByHand) {
    const Profile p = Parsed(
        "orphan=1\n"
        "; a comment=9\n"
        "  [ encrypt ]  \n"
        "\n"
        "  ROUNDS  =  3  \n"
        "\t;rounds=8\n"
        "rounds=4\n"
        "[ENCRYPT]\n"
        "Paranoia=1\n"
        "[decrypt]\n"
        "IntCheck=0");
    EXPECT_EQ(p.GetInt("ENCRYPT", "Rounds", 0), 3) << "blanks, case and the first key win";
    EXPECT_EQ(p.GetInt("ENCRYPT", "Paranoia", 7), 7) << "only the first of two sections is read";
    EXPECT_EQ(p.GetInt("DECRYPT", "IntCheck", 1), 0) << "last line without a line ending";
    EXPECT_EQ(p.GetInt("", "orphan", 5), 5) << "keys before the first header belong to no section";
    EXPECT_EQ(Parsed("[a]b]\nk=1\n").GetInt("a]b", "k", 0), 1) << "a section name ends at the line's last bracket";
}

TEST(ProfileRead, AByteOrderMarkIsSkippedAndKept) {
    Profile p = Parsed("\xEF\xBB\xBF[ENCRYPT]\r\nRounds=4\r\n");
    EXPECT_EQ(p.GetInt("ENCRYPT", "Rounds", 0), 4);
    p.SetString("ENCRYPT", "Rounds", "5");
    EXPECT_EQ(p.Text(), "\xEF\xBB\xBF[ENCRYPT]\r\nRounds=5\r\n");
}

TEST(ProfileWrite, NewFileGetsCrLfLinesInOrder) {
    Profile p;
    p.SetString("ENCRYPT", "Rounds", "1");
    p.SetString("ENCRYPT", "SFX", "0");
    p.SetString("DECRYPT", "IntCheck", "1");
    EXPECT_EQ(p.Text(), "[ENCRYPT]\r\nRounds=1\r\nSFX=0\r\n[DECRYPT]\r\nIntCheck=1\r\n");
}

TEST(ProfileWrite, ChangesOnlyWhatItMust) {
    const std::string before =
        "; settings\r\n"
        "[encrypt]\r\n"
        "  rounds = 3\r\n"
        "Paranoia=0\r\n"
        "\r\n"
        "; trailing comment of the section\r\n"
        "[Other]\r\n"
        "keep=me   \r\n"
        "no equals sign here\r\n";
    Profile p = Parsed(before);
    p.SetString("ENCRYPT", "Rounds", "12");
    p.SetString("ENCRYPT", "SFX", "1");
    p.SetString("DECRYPT", "IntCheck", "0");
    EXPECT_EQ(p.Text(),
              "; settings\r\n"
              "[encrypt]\r\n"
              "  rounds = 12\r\n"
              "Paranoia=0\r\n"
              "SFX=1\r\n"
              "\r\n"
              "; trailing comment of the section\r\n"
              "[Other]\r\n"
              "keep=me   \r\n"
              "no equals sign here\r\n"
              "[DECRYPT]\r\n"
              "IntCheck=0\r\n");
}

TEST(ProfileWrite, FollowsTheFilesOwnLineEndingsAndEndsTheLastLine) {
    Profile p = Parsed("[A]\nx=1");
    p.SetString("A", "y", "2");
    p.SetString("B", "z", "3");
    EXPECT_EQ(p.Text(), "[A]\nx=1\ny=2\n[B]\nz=3\n");

    Profile empty = Parsed("[A]");
    empty.SetString("A", "k", "v");
    EXPECT_EQ(empty.Text(), "[A]\r\nk=v\r\n");
}

class ProfileFile : public ::testing::Test {
protected:
    std::vector<std::string> Names() const { return test::NamesIn(folder_.path()); }

    test::TempFolder folder_;
};

TEST_F(ProfileFile, LoadTellsMissingFromUnreadable) {
    Profile p;
    EXPECT_EQ(p.Load(folder_.file("absent.ini")), Profile::LoadResult::Missing);
    std::filesystem::create_directory(folder_.file("dir.ini"));
    EXPECT_EQ(p.Load(folder_.file("dir.ini")), Profile::LoadResult::Unreadable);
    test::WriteFile(folder_.file("x.ini"), "[S]\nk=4\n");
    ASSERT_EQ(p.Load(folder_.file("x.ini")), Profile::LoadResult::Loaded);
    EXPECT_EQ(p.GetInt("S", "k", 0), 4);
}

// A save killed between naming its temporary file and the rename can leave
// one behind; the next save removes it once no save can still be using it.
TEST_F(ProfileFile, SaveRemovesStaleTemporaryFilesOfItsOwn) {
    const auto plant = [this](const std::string& name, bool old) {
        test::WriteFile(folder_.file(name), "partial");
        if (old) {
            const auto then = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
            std::filesystem::last_write_time(folder_.file(name), then);
        }
    };
    plant(".druvel-a1B2c3", true);
    plant(".druvel-fresh1", false);
    plant(".druvel-notours-at-all", true);
    plant("notes.txt", true);
    Profile p;
    p.SetString("S", "k", "1");
    ASSERT_TRUE(p.Save(folder_.file("Druvel.ini")));
    EXPECT_EQ(Names(), (std::vector<std::string>{".druvel-fresh1", ".druvel-notours-at-all", "Druvel.ini", "notes.txt"}));
}

}  // namespace
