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

namespace fs = std::filesystem;
using platform::Profile;

Profile With(const std::string& value) {
    Profile profile;
    profile.SetString("S", "k", value);
    return profile;
}

// Loads and saves go through a chain of links, dangling or not, to the
// file at its end, keeping the links and the file's permissions; a loop of
// links is not followed for ever.
TEST(ProfilePosixFile, SaveFollowsLinksAndKeepsThemAndThePermissions) {
    const test::TempFolder folder;
    fs::create_directory(folder.file("elsewhere"));
    fs::create_symlink("elsewhere/settings.ini", folder.file("middle.ini"));
    fs::create_symlink(folder.file("middle.ini"), folder.file("Druvel.ini"));
    ASSERT_TRUE(With("1").Save(folder.file("Druvel.ini")));
    fs::permissions(folder.file("elsewhere/settings.ini"), fs::perms(0640));
    Profile p;
    ASSERT_EQ(p.Load(folder.file("Druvel.ini")), Profile::LoadResult::Loaded);
    p.SetString("S", "k", "2");
    ASSERT_TRUE(p.Save(folder.file("Druvel.ini")));
    EXPECT_TRUE(fs::is_symlink(folder.file("Druvel.ini")));
    EXPECT_TRUE(fs::is_symlink(folder.file("middle.ini")));
    EXPECT_EQ(test::ReadFile(folder.file("elsewhere/settings.ini")), "[S]\r\nk=2\r\n");
    EXPECT_EQ(fs::status(folder.file("elsewhere/settings.ini")).permissions(), fs::perms(0640));

    fs::create_symlink("loop.ini", folder.file("loop.ini"));
    EXPECT_FALSE(With("1").Save(folder.file("loop.ini")));
    EXPECT_TRUE(fs::is_symlink(folder.file("loop.ini")));
}

// A write that fails half way (here: the file-size limit, which holds even
// for root) must leave the old file whole and no temporary file behind.
TEST(ProfilePosixFile, AFailedOrKilledSaveLeavesTheOldOrTheNewFileWhole) {
    const test::TempFolder folder;
    const std::string path = folder.file("Druvel.ini");
    const std::string original = "[S]\r\nk=1\r\n";
    test::WriteFile(path, original);

    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool savedOk = With(std::string(4096, 'x')).Save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(savedOk);
    EXPECT_EQ(test::ReadFile(path), original);
    EXPECT_EQ(test::NamesIn(folder.path()), std::vector<std::string>{"Druvel.ini"});

    // Killed at any moment, a save leaves the old file or the new one, whole.
    const Profile older = With(std::string(1 << 20, 'o')), newer = With(std::string(1 << 20, 'n'));
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
