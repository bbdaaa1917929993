#include "core/file_jobs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "tests/support/system.h"
#include "tests/support/workspace.h"

namespace {

using Arguments = std::vector<std::string>;

class FileJobs : public ::testing::Test {
protected:
    void SetUp() override {
        g_options = Options{2, 0, 0, 1, 1};
        test::WriteFile(plain_, "plain");
        test::WriteFile(encrypted_, "encrypted");
    }

    bool Exists(const std::string& path) const { return std::filesystem::exists(test::FsPath(path)); }

    test::TempFolder folder_;
    test::FakeTool tool_{folder_.path()};
    // Named beyond any ANSI code page, so that every file function is the
    // system's Unicode one.
    const std::string plain_ = folder_.file("\xE6\x97\xA5 x.txt");
    const std::string encrypted_ = folder_.file("\xE6\x97\xA5 x_txt.TAV");
};

TEST_F(FileJobs, ToolGetsTheFourFieldsUnquoted) {
    ProcessFile(plain_, "a \"quoted\" key");
    ProcessFile(encrypted_, "k");
    EXPECT_EQ(tool_.Runs(), (std::vector<Arguments>{
                                {"e2", plain_, encrypted_, "a \"quoted\" key"},
                                {"D", encrypted_, plain_, "k"},
                            }));
}

TEST_F(FileJobs, SuccessfulDecryptionDeletesTheEncryptedFile) {
    ProcessFile(encrypted_, "k");
    EXPECT_FALSE(Exists(encrypted_));
    EXPECT_TRUE(Exists(plain_)) << "the target is never touched";
}

TEST_F(FileJobs, EncryptedFileStaysWhenItShould) {
    tool_.ExitWith(1);
    ProcessFile(encrypted_, "k");
    EXPECT_TRUE(Exists(encrypted_)) << "failed decryption";

    tool_.Succeed();
    tool_.DieBySignal(SIGTERM);
    ProcessFile(encrypted_, "k");
    EXPECT_TRUE(Exists(encrypted_)) << "tool killed by a signal";

    tool_.Succeed();
    g_options.DelEncrypted = 0;
    ProcessFile(encrypted_, "k");
    EXPECT_TRUE(Exists(encrypted_)) << "DelEncrypted off";
    EXPECT_EQ(tool_.Runs().size(), 3u);
}

// The deletion waits for the decrypted file: a tool that exits 0 without
// writing it must not cost the only copy.
TEST_F(FileJobs, EncryptedFileStaysWhenTheToolWroteNothing) {
    std::filesystem::remove(test::FsPath(plain_));
    tool_.SucceedWithoutTarget();
    ProcessFile(encrypted_, "k");
    EXPECT_TRUE(Exists(encrypted_));

    tool_.Succeed();
    ProcessFile(encrypted_, "k");
    EXPECT_FALSE(Exists(encrypted_));
    EXPECT_TRUE(Exists(plain_)) << "written by the tool";
}

TEST_F(FileJobs, EncryptionNeverDeletesTheSource) {
    for (const int status : {0, 1}) {
        tool_.ExitWith(status);
        ProcessFile(plain_, "k");
        EXPECT_TRUE(Exists(plain_));
    }
    g_options.SFX = 1;
    ProcessFile(plain_, "k");
    EXPECT_TRUE(Exists(plain_));
}

TEST_F(FileJobs, OptionsAreReadAfreshForEveryFile) {
    ProcessFile(plain_, "k");
    g_options.Rounds = 5;
    g_options.Paranoia = 1;
    g_options.SFX = 1;
    ProcessFile(plain_, "k");
    const auto runs = tool_.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1][0], "a5+");
    EXPECT_EQ(runs[1][2], folder_.file("\xE6\x97\xA5 x_txt.EXE"));
}

TEST(RunTool, StatusOfTheTool) {
    test::TempFolder folder;
    CommandLine command;
    BuildCommandLine(folder.file("x.txt"), Options{1, 0, 0, 1, 0}, "k", command);
    EXPECT_EQ(RunTool(command), -1) << "no tool in the current directory";

    test::FakeTool tool(folder.path());
    EXPECT_EQ(RunTool(command), 0);
    tool.ExitWith(3);
    EXPECT_EQ(RunTool(command), 3);
    tool.DieBySignal(SIGTERM);
    EXPECT_EQ(RunTool(command), test::StatusOfProgramKilledBy(SIGTERM));
}

TEST(RunTool, NeverLooksOnTheSearchPath) {
    test::TempFolder folder;
    const std::string elsewhere = folder.file("bin");
    std::filesystem::create_directory(elsewhere);
    test::FakeTool tool(elsewhere);
    const std::string searchPath = elsewhere + test::kSearchPathSeparator + (std::getenv("PATH") ? std::getenv("PATH") : "");
    test::SetEnvironment("PATH", searchPath.c_str());

    test::WriteFile(folder.file("x_txt.TAV"), "encrypted");
    g_options = Options{1, 0, 0, 1, 1};
    ProcessFile(folder.file("x_txt.TAV"), "k");
    EXPECT_TRUE(tool.Runs().empty());
    EXPECT_TRUE(std::filesystem::exists(folder.file("x_txt.TAV")));
}

// A batch is refused whole, before any file, when the tool could not take
// it: rounds it does not accept (which decryption does not use), or a key
// beyond the system's limit (Linux: 128 KiB for one argument; Windows: 32 K
// UTF-16 units for the whole command line), or a key that is not Unicode
// (half of a surrogate pair, which a key field can hold).
TEST(BatchProblem, NamesWhatKeepsTheToolFromRunning) {
    const std::string kTooLong(128 * 1024, 'k');
    std::string cyrillic;
    for (int i = 0; i < 70000; ++i) cyrillic += "\xD1\x8F";  // 140000 bytes, 70000 UTF-16 units
    const struct {
        std::int32_t rounds;
        std::vector<std::string> sources;
        std::string key;
        const char* problem;  // a part of the message, or "" for none
    } cases[] = {
        {0, {"a.txt"}, "k", ""},
        {64, {"a.txt", "b_txt.TAV"}, "k", ""},
        {65, {"a.txt"}, "k", "rounds set in Druvel.ini (65)"},
        {-5, {"b_txt.TAV", "a.txt"}, "k", "(-5) cannot be used: TAV takes 0 to 64"},
        {-5, {"b_txt.TAV"}, "k", ""},
        {2, {"a.txt"}, std::string(30000, 'k'), ""},
        {2, {"b_txt.TAV"}, kTooLong, "is too long to hand to TAV"},
        {2, {}, kTooLong, ""},
        {2, {"b_txt.TAV"}, cyrillic, "The key (70000 characters) is too long"},
        {2, {"a.txt"}, "key \xED\xA0\x80", "not valid Unicode"},
        {2, {"a.txt"}, "\xF0\x9F\x94\x91 key", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rounds) + " rounds, key of " + std::to_string(c.key.size()));
        g_options = Options{c.rounds, 0, 0, 1, 0};
        const std::string problem = BatchProblem(c.sources, c.key);
        if (*c.problem == 0) {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
            EXPECT_NE(problem.find("No file was processed."), std::string::npos) << problem;
        }
    }
}

}  // namespace
