// The key cache: a batch pays the key derivation once and shares a salt,
// every file keeps its own nonce, the cache can be turned off, forgets, is
// private to its user, and is never needed for a correct result.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/support/run.h"
#include "tests/support/workspace.h"

namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class KeyCache : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_ = folder_.file("runtime");
        fs::create_directory(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ::setenv("TAV_KEY_CACHE", "on", 1);
    }
    // Taking the socket away ends the agent within a second.
    void TearDown() override {
        fs::remove(runtime_ + "/tav-keys");
        ::unsetenv("TAV_TEST_KEY_CACHE_IDLE_SECONDS");
        ::setenv("TAV_KEY_CACHE", "off", 1);
        ::unsetenv("XDG_RUNTIME_DIR");
    }

    std::string file(const std::string& name) const { return folder_.file(name); }
    std::string socket() const { return runtime_ + "/tav-keys"; }

    // Encrypts a new file and returns the encrypted bytes.
    std::string Encrypted(const std::string& name, const std::string& key = "key") {
        test::WriteFile(file(name), "contents of " + name);
        const auto result = test::Run(TAV_FAST_KDF_PATH, {"e1", file(name), file(name + ".TAV"), key});
        EXPECT_EQ(result.status, 0) << result.errors;
        return ReadFile(file(name + ".TAV"));
    }
    static std::string Salt(const std::string& encrypted) { return encrypted.substr(24, 16); }
    static std::string Nonce(const std::string& encrypted) { return encrypted.substr(40, 24); }

    int Decrypt(const std::string& name, const std::string& key = "key") {
        fs::remove(file(name + ".out"));
        const int status = test::Run(TAV_FAST_KDF_PATH, {"D", file(name + ".TAV"), file(name + ".out"), key}).status;
        if (status == 0) {
            EXPECT_EQ(ReadFile(file(name + ".out")), "contents of " + name);
        }
        return status;
    }

    test::TempFolder folder_;
    std::string runtime_;
};

TEST_F(KeyCache, ABatchSharesOneSaltAndEachFileHasItsOwnNonce) {
    const std::string a = Encrypted("a"), b = Encrypted("b"), c = Encrypted("c");
    EXPECT_TRUE(fs::is_socket(socket()));
    EXPECT_EQ(fs::status(socket()).permissions() & fs::perms::all, fs::perms::owner_all & ~fs::perms::owner_exec);
    EXPECT_EQ(Salt(a), Salt(b));
    EXPECT_EQ(Salt(b), Salt(c));
    EXPECT_NE(Nonce(a), Nonce(b));
    EXPECT_NE(a.substr(64, 16), b.substr(64, 16)) << "each file its own key check";
    const std::string other = Encrypted("other", "another key");
    EXPECT_NE(Salt(other), Salt(a)) << "another key, another salt";
    for (const std::string name : {"a", "b", "c"}) EXPECT_EQ(Decrypt(name), 0);
    EXPECT_EQ(Decrypt("other", "another key"), 0);
    EXPECT_EQ(Decrypt("a", "Key"), 2);
    ::setenv("TAV_KEY_CACHE", "off", 1);
    EXPECT_EQ(Decrypt("b"), 0) << "the files need no cache";
    EXPECT_EQ(Decrypt("b", "KEY"), 2);
}

TEST_F(KeyCache, OffOrWithoutAPrivateFolderThereIsNone) {
    ::setenv("TAV_KEY_CACHE", "off", 1);
    EXPECT_NE(Salt(Encrypted("a")), Salt(Encrypted("b")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket())));
    ::setenv("TAV_KEY_CACHE", "on", 1);
    fs::permissions(runtime_, fs::perms(0755));
    EXPECT_NE(Salt(Encrypted("c")), Salt(Encrypted("d")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket())));
}

TEST_F(KeyCache, ForgetsWhenIdleAndTheAgentLeaves) {
    ::setenv("TAV_TEST_KEY_CACHE_IDLE_SECONDS", "1", 1);
    const std::string a = Encrypted("a");
    ASSERT_TRUE(fs::is_socket(socket()));
    for (int i = 0; i < 100 && fs::exists(fs::symlink_status(socket())); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket()))) << "the agent removes its socket when it leaves";
    EXPECT_NE(Salt(Encrypted("b")), Salt(a));
}

// A socket left by an agent that died is replaced.
TEST_F(KeyCache, AStaleSocketIsReplaced) {
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket().c_str());
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    EXPECT_EQ(Salt(Encrypted("a")), Salt(Encrypted("b")));
}

// Even with the folder and the socket opened to everyone, another user's
// process gets no answer: the agent checks who asks.
TEST_F(KeyCache, AnotherUserGetsNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    const std::string a = Encrypted("a");
    fs::permissions(folder_.path(), fs::perms(0711));
    fs::permissions(runtime_, fs::perms(0711));
    fs::permissions(socket(), fs::perms(0666));
    const pid_t stranger = ::fork();
    if (stranger == 0) {
        if (::setuid(65534) != 0) ::_exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket().c_str());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(4);
        unsigned char request[64] = {1};
        (void)!::send(fd, request, sizeof request, MSG_NOSIGNAL);
        unsigned char reply[64];
        ::_exit(::recv(fd, reply, sizeof reply, 0) > 0 ? 1 : 0);
    }
    int status = 0;
    ::waitpid(stranger, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    fs::permissions(runtime_, fs::perms::owner_all);
    EXPECT_EQ(Salt(Encrypted("b")), Salt(a)) << "the agent still serves its user";
}

}  // namespace
