// The key cache: a batch pays the key derivation once and shares a salt,
// every file keeps its own nonce, the cache can be turned off, forgets, is
// private to its user, is no faster a way to test guesses than deriving,
// stays small under a flood, and is never needed for a correct result.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <sodium.h>

#include "tav/os/key_agent_protocol.h"

#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class KeyCache : public test::TavTest {
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

    std::string socket() const { return runtime_ + "/tav-keys"; }

    // Encrypts a new file and returns the encrypted bytes.
    std::string Encrypted(const std::string& name, const std::string& key = "key") {
        test::WriteFile(file(name), "contents of " + name);
        const auto result = Tool({"e1", file(name), file(name + ".TAV"), key});
        EXPECT_EQ(result.status, 0) << result.errors;
        return ReadFile(file(name + ".TAV"));
    }
    static std::string Salt(const std::string& encrypted) { return encrypted.substr(24, 16); }
    static std::uint32_t OpsLimit(const std::string& encrypted) {
        std::uint32_t value;
        std::memcpy(&value, encrypted.data() + 12, sizeof value);
        return value;
    }
    static std::uint64_t MemLimit(const std::string& encrypted) {
        std::uint64_t value;
        std::memcpy(&value, encrypted.data() + 16, sizeof value);
        return value;
    }

    // A process of the user's own speaking the agent's protocol: the
    // master key it is given, or nothing when the agent refuses.
    std::optional<std::string> AskAgent(tav::agent::Kind kind, std::uint32_t ops, std::uint64_t mem,
                                        const std::string& salt, const std::string& key, pid_t* agent = nullptr) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket().c_str());
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (agent != nullptr) {
            ucred peer{};
            socklen_t size = sizeof peer;
            ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size);
            *agent = peer.pid;
        }
        tav::agent::Request request{};
        request.kind = kind;
        request.opsLimit = ops;
        request.memLimit = mem;
        std::memcpy(request.salt.data(), salt.data(), std::min<std::size_t>(salt.size(), request.salt.size()));
        request.keySize = static_cast<std::uint32_t>(key.size());
        (void)!::send(fd, &request, sizeof request, MSG_NOSIGNAL);
        (void)!::send(fd, key.data(), key.size(), MSG_NOSIGNAL);
        unsigned char status = tav::agent::kWorking;
        while (status == tav::agent::kWorking && ::recv(fd, &status, 1, MSG_WAITALL) == 1) {
        }
        tav::agent::MasterKeyReply reply{};
        const bool given = status == tav::agent::kMasterKey &&
                           ::recv(fd, &reply, sizeof reply, MSG_WAITALL) == static_cast<ssize_t>(sizeof reply);
        ::close(fd);
        if (!given) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(reply.master.data()), reply.master.size());
    }

    // Argon2id as the file format describes the master key, computed here.
    static std::string MasterKey(const std::string& key, const std::string& salt, std::uint32_t ops, std::uint64_t mem) {
        unsigned char master[32];
        EXPECT_EQ(crypto_pwhash(master, sizeof master, key.data(), key.size(),
                                reinterpret_cast<const unsigned char*>(salt.data()), ops, mem,
                                crypto_pwhash_ALG_ARGON2ID13),
                  0);
        return std::string(reinterpret_cast<const char*>(master), sizeof master);
    }

    static long LockedKibibytes(pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmLck:", 0) == 0) return std::stol(line.substr(6));
        }
        return -1;
    }
    static std::string Nonce(const std::string& encrypted) { return encrypted.substr(40, 24); }

    int Decrypt(const std::string& name, const std::string& key = "key") {
        fs::remove(file(name + ".out"));
        const int status = Tool({"D", file(name + ".TAV"), file(name + ".out"), key}).status;
        if (status == 0) {
            EXPECT_EQ(ReadFile(file(name + ".out")), "contents of " + name);
        }
        return status;
    }

    std::string runtime_;
};

// The program of a self-decrypting file restores one file: it asks no agent
// and starts none, which would keep the received file in use for a minute.
TEST_F(KeyCache, ASelfDecryptingFileStartsNoAgent) {
    ::setenv("TAV_KEY_CACHE", "off", 1);
    test::WriteFile(file("note"), "a note");
    ASSERT_EQ(Tool({"a1", file("note"), file("note.EXE"), "key"}).status, 0);
    fs::rename(file("note"), file("original"));
    ::setenv("TAV_KEY_CACHE", "on", 1);
    const auto result = test::Run(file("note.EXE"), {}, {"key\n"});
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(ReadFile(file("note")), "a note");
    EXPECT_FALSE(fs::exists(socket()));
}

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

// Whatever the agent answers, it derived: a guess through it costs a full
// key derivation with the file's cost, as it would without the agent, so
// the agent is no oracle for a process of the same user. It hands out no
// key it did not derive, and refuses what no file could ask for.
TEST_F(KeyCache, EveryAnswerIsADerivationAndNothingElseIsAccepted) {
    ASSERT_GE(sodium_init(), 0);
    const std::string a = Encrypted("a");
    const std::uint32_t ops = OpsLimit(a);
    const std::uint64_t mem = MemLimit(a);
    for (const std::string guess : {"key", "guess", "another guess"}) {
        SCOPED_TRACE(guess);
        EXPECT_EQ(AskAgent(tav::agent::kForFile, ops, mem, Salt(a), guess), MasterKey(guess, Salt(a), ops, mem));
    }
    const struct {
        const char* what;
        std::uint8_t kind;
        std::uint32_t ops;
        std::uint64_t mem;
        std::size_t keySize;
    } refused[] = {
        {"a kind no client sends (it once stored keys)", 3, ops, mem, 3},
        {"an empty key", tav::agent::kForFile, ops, mem, 0},
        {"a key too long", tav::agent::kForFile, ops, mem, tav::agent::kMaxKeySize + 1},
        {"no passes", tav::agent::kForFile, 0, mem, 3},
        {"more memory than any file may ask", tav::agent::kForFile, ops, std::uint64_t{4} << 30, 3},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        EXPECT_FALSE(AskAgent(static_cast<tav::agent::Kind>(r.kind), r.ops, r.mem, Salt(a), std::string(r.keySize, 'k')));
    }
    EXPECT_EQ(Decrypt("a"), 0);
    EXPECT_EQ(Decrypt("a", "guess"), 2);
}

// A flood of requests neither crashes the agent nor grows what it keeps
// in locked memory: it keeps a bounded number of entries.
TEST_F(KeyCache, AFloodOfGuessesLeavesTheAgentSmall) {
    const std::string a = Encrypted("a");
    pid_t agent = 0;
    const auto guess = [&](int i) {
        return AskAgent(tav::agent::kForFile, OpsLimit(a), MemLimit(a), Salt(a), "guess " + std::to_string(i), &agent);
    };
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(guess(i));
    const long locked = LockedKibibytes(agent);
    for (int i = 40; i < 400; ++i) ASSERT_TRUE(guess(i));
    EXPECT_EQ(Decrypt("a"), 0);
    if (locked == 0) GTEST_SKIP() << "nothing is locked here (AddressSanitizer makes mlock do nothing)";
    EXPECT_LE(LockedKibibytes(agent), locked + 16) << "360 more entries would hold some 2800 KiB more";
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
