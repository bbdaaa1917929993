// The settings file's replacement where POSIX gives more to get right:
// permissions, symbolic links, a file-size limit, a kill at any moment.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/system/profile.h"
#include "tests/support/workspace.h"

namespace {

using platform::Profile;

class ProfilePosixFile : public ::testing::Test {
protected:
    std::vector<std::string> Names() const { return test::NamesIn(folder_.path()); }

    test::TempFolder folder_;
};

TEST_F(ProfilePosixFile, SaveKeepsPermissionsAndFollowsLinks) {
    const std::string real = folder_.file("real.ini");
    test::WriteFile(real, "[S]\r\nk=1\r\n");
    std::filesystem::permissions(real, std::filesystem::perms(0640));
    std::filesystem::create_symlink(real, folder_.file("link.ini"));

    Profile p;
    ASSERT_EQ(p.Load(folder_.file("link.ini")), Profile::LoadResult::Loaded);
    p.SetString("S", "k", "2");
    ASSERT_TRUE(p.Save(folder_.file("link.ini")));

    EXPECT_TRUE(std::filesystem::is_symlink(folder_.file("link.ini")));
    EXPECT_EQ(test::ReadFile(real), "[S]\r\nk=2\r\n");
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
}

// A write that fails half way (here: the file-size limit, which holds even
// for root) must leave the old file whole and no temporary file behind.
TEST_F(ProfilePosixFile, FailedSaveLeavesTheOldFileWhole) {
    const std::string path = folder_.file("Druvel.ini");
    const std::string original = "[S]\r\nk=1\r\n";
    test::WriteFile(path, original);

    Profile p;
    ASSERT_EQ(p.Load(path), Profile::LoadResult::Loaded);
    p.SetString("S", "long", std::string(4096, 'x'));

    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = p.Save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(test::ReadFile(path), original);
    EXPECT_EQ(Names(), std::vector<std::string>{"Druvel.ini"});
}

TEST_F(ProfilePosixFile, SaveWritesThroughDanglingAndChainedLinksAndKeepsThem) {
    std::filesystem::create_directory(folder_.file("elsewhere"));
    std::filesystem::create_symlink("elsewhere/settings.ini", folder_.file("middle.ini"));
    std::filesystem::create_symlink(folder_.file("middle.ini"), folder_.file("Druvel.ini"));
    Profile p;
    p.SetString("S", "k", "1");
    ASSERT_TRUE(p.Save(folder_.file("Druvel.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder_.file("Druvel.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder_.file("middle.ini")));
    EXPECT_EQ(test::ReadFile(folder_.file("elsewhere/settings.ini")), "[S]\r\nk=1\r\n");

    std::filesystem::create_symlink("loop.ini", folder_.file("loop.ini"));
    EXPECT_FALSE(p.Save(folder_.file("loop.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder_.file("loop.ini")));
}

// Killed at any moment, a save leaves the old file or the new one, whole.
TEST_F(ProfilePosixFile, KilledSaveLeavesTheOldOrTheNewFileWhole) {
    const std::string path = folder_.file("Druvel.ini");
    Profile older, newer;
    older.SetString("S", "k", std::string(1 << 20, 'o'));
    newer.SetString("S", "k", std::string(1 << 20, 'n'));
    ASSERT_TRUE(older.Save(path));
    std::mt19937 random(3);
    for (int i = 0; i < 20; ++i) {
        const pid_t saver = ::fork();
        if (saver == 0) {
            for (;;) {
                newer.Save(path);
                older.Save(path);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(random)));
        ::kill(saver, SIGKILL);
        ::waitpid(saver, nullptr, 0);
        const std::string text = test::ReadFile(path);
        EXPECT_TRUE(text == older.Text() || text == newer.Text()) << text.size() << " bytes";
    }
}

}  // namespace
