#include "core/file_jobs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "tests/support/system.h"
#include "tests/support/workspace.h"

namespace {

class FileJobs : public ::testing::Test {
protected:
    void SetUp() override { g_options = Options{2, 0, 0, 1, 1}; }

    bool Exists(const std::string& path) const { return std::filesystem::exists(test::FsPath(path)); }

    test::TempFolder folder_;
    test::FakeTool tool_{folder_.path()};
    // Named beyond any ANSI code page, so that every file function is the
    // system's Unicode one.
    const std::string plain_ = folder_.file("\xE6\x97\xA5 x.txt");
    const std::string encrypted_ = folder_.file("\xE6\x97\xA5 x_txt.TAV");
};

// Only the encrypted source of a successful decryption goes, with "Delete
// encrypted" on, and only once the decrypted file is there: a tool that
// exits 0 without writing it must not cost the only copy. The target is
// never touched.
TEST_F(FileJobs, OnlyADecryptionThatWroteItsTargetDeletesTheEncryptedFile) {
    enum Tool { kSucceeds, kFails, kIsKilled, kWritesNothing };
    const struct { bool encrypted; Tool tool; int delEncrypted; bool sourceStays; } cases[] = {
        {true, kSucceeds, 1, false}, {true, kFails, 1, true}, {true, kIsKilled, 1, true}, {true, kSucceeds, 0, true},
        {true, kWritesNothing, 1, true}, {false, kSucceeds, 1, true}, {false, kFails, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        const std::string source = c.encrypted ? encrypted_ : plain_, target = c.encrypted ? plain_ : encrypted_;
        test::WriteFile(source, "source");
        std::filesystem::remove(test::FsPath(target));
        if (c.tool == kSucceeds) tool_.Succeed();
        if (c.tool == kFails) tool_.ExitWith(1);
        if (c.tool == kIsKilled) tool_.DieBySignal(SIGTERM);
        if (c.tool == kWritesNothing) tool_.SucceedWithoutTarget();
        g_options.DelEncrypted = c.delEncrypted;
        ProcessFile(source, "k");
        EXPECT_EQ(Exists(source), c.sourceStays);
        EXPECT_EQ(Exists(target), c.tool == kSucceeds);
    }
}

// The tool is "TAV" of the current directory, never one on the search path.
TEST(RunTool, NeverRunsAToolFoundOnTheSearchPath) {
    test::TempFolder folder;
    const std::string elsewhere = folder.file("bin");
    std::filesystem::create_directory(elsewhere);
    const test::FakeTool stranger(elsewhere);
    const char* path = std::getenv("PATH");
    test::SetEnvironment("PATH", (elsewhere + test::kSearchPathSeparator + (path != nullptr ? path : "")).c_str());
    CommandLine command;
    BuildCommandLine(folder.file("x.txt"), kStartOptions, "k", command);
    EXPECT_EQ(RunTool(command), -1) << "no tool in the current directory";
    EXPECT_TRUE(stranger.Runs().empty());
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
    // The rounds, the batch, its key, and a part of the message ("" for none).
    const struct { std::int32_t rounds; std::vector<std::string> sources; std::string key; const char* problem; } cases[] = {
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
