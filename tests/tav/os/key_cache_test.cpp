// The key cache: one key derivation and one salt for a batch of one key and
// cost; off, forgetful, private, no oracle, small, and never needed.
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "tav/os/key_agent_protocol.h"
#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace test;

std::string Salt(const std::string& encrypted) { return encrypted.substr(24, 16); }

class KeyCache : public TavTest {
protected:
    void SetUp() override {
        fs::create_directory(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ::setenv("TAV_KEY_CACHE", "on", 1);
    }
    // Taking the socket away ends the agent within a second.
    void TearDown() override {
        fs::remove(socket_);
        ::unsetenv("TAV_TEST_KEY_CACHE_IDLE_SECONDS");
        ::setenv("TAV_KEY_CACHE", "off", 1);
        ::unsetenv("XDG_RUNTIME_DIR");
    }

    // Encrypts a new file and returns the encrypted bytes.
    std::string Encrypted(const std::string& name, const std::string& key = "key", const std::string& operation = "e1") {
        WriteFile(file(name), "contents of " + name);
        EXPECT_EQ(Tool({operation, file(name), file(name + ".TAV"), key}).status, kOk);
        return ReadFile(file(name + ".TAV"));
    }

    int Decrypt(const std::string& name, const std::string& key = "key") {
        fs::remove(file(name + ".out"));
        const int status = Tool({"D", file(name + ".TAV"), file(name + ".out"), key}).status;
        EXPECT_TRUE(status != kOk || ReadFile(file(name + ".out")) == "contents of " + name) << name;
        return status;
    }

    // A request for the master key of an encrypted file's cost and salt.
    static tav::agent::Request RequestFor(const std::string& encrypted) {
        tav::agent::Request request{};
        request.kind = tav::agent::kForFile;
        request.opsLimit = static_cast<std::uint32_t>(LittleEndian(encrypted, 12, 4));
        request.memLimit = LittleEndian(encrypted, 16, 8);
        std::memcpy(request.salt.data(), encrypted.data() + 24, request.salt.size());
        return request;
    }

    // A process of the user's own asking the agent: the master key it is
    // given, or nothing when the agent refuses.
    std::optional<std::string> AskAgent(tav::agent::Request request, const std::string& key, pid_t* agent = nullptr) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_.c_str());
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ucred peer{};
        socklen_t size = sizeof peer;
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size);
        if (agent != nullptr) *agent = peer.pid;
        request.keySize = static_cast<std::uint32_t>(key.size());
        (void)!::send(fd, &request, sizeof request, MSG_NOSIGNAL);
        (void)!::send(fd, key.data(), key.size(), MSG_NOSIGNAL);
        unsigned char status = tav::agent::kWorking;
        while (status == tav::agent::kWorking && ::recv(fd, &status, 1, MSG_WAITALL) == 1) continue;
        tav::agent::MasterKeyReply reply{};
        const bool given = status == tav::agent::kMasterKey &&
                           ::recv(fd, &reply, sizeof reply, MSG_WAITALL) == static_cast<ssize_t>(sizeof reply);
        ::close(fd);
        if (!given) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(reply.master.data()), reply.master.size());
    }

    const std::string runtime_ = file("runtime"), socket_ = runtime_ + "/tav-keys";
};

// The program of a self-decrypting file restores one file: it asks no agent
// and starts none, which would keep the received file in use for a minute.
TEST_F(KeyCache, ASelfDecryptingFileStartsNoAgent) {
    ::setenv("TAV_KEY_CACHE", "off", 1);
    Encrypted("note", "key", "a1");
    fs::rename(file("note"), file("original"));
    ::setenv("TAV_KEY_CACHE", "on", 1);
    const auto result = test::Run(file("note.TAV"), {}, {"key\n"});
    ASSERT_EQ(result.status, kOk) << result.errors;
    EXPECT_EQ(ReadFile(file("note")), "contents of note");
    EXPECT_FALSE(fs::exists(socket_));
}

// Files of one key and cost share a salt, each with its own nonce and key
// check; another key or another cost (passes or memory) gets a salt of its
// own, so that every file opens later from its header alone.
TEST_F(KeyCache, ABatchSharesOneSaltPerKeyAndCost) {
    const std::string a = Encrypted("a"), b = Encrypted("b");
    EXPECT_EQ(fs::status(socket_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Salt(a), Salt(b));
    EXPECT_NE(a.substr(40, 24), b.substr(40, 24)) << "nonce";
    EXPECT_NE(a.substr(64, 16), b.substr(64, 16)) << "key check";
    EXPECT_NE(Salt(Encrypted("other", "another key")), Salt(a));
    for (const std::string operation : {"e2", "e1+"}) EXPECT_NE(Salt(Encrypted(operation, "key", operation)), Salt(a));
    for (const std::string cache : {"on", "off"}) {
        ::setenv("TAV_KEY_CACHE", cache.c_str(), 1);
        for (const std::string name : {"a", "b", "e2", "e1+"}) EXPECT_EQ(Decrypt(name), kOk) << name << " " << cache;
        EXPECT_EQ(Decrypt("other", "another key"), kOk) << cache;
        EXPECT_EQ(Decrypt("b", "KEY"), kWrongKey) << cache;
    }
}

// Off, or without a private folder, there is no agent; a socket left by an
// agent that died is replaced.
TEST_F(KeyCache, OffOrWithoutAPrivateFolderThereIsNoneAndAStaleSocketIsReplaced) {
    ::setenv("TAV_KEY_CACHE", "off", 1);
    EXPECT_NE(Salt(Encrypted("a")), Salt(Encrypted("b")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket_)));
    ::setenv("TAV_KEY_CACHE", "on", 1);
    fs::permissions(runtime_, fs::perms(0755));
    EXPECT_NE(Salt(Encrypted("c")), Salt(Encrypted("d")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket_)));
    fs::permissions(runtime_, fs::perms::owner_all);
    const std::string bind = "import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])";
    ASSERT_EQ(test::Run("/usr/bin/python3", {"-c", bind, socket_}).status, 0);
    EXPECT_EQ(Salt(Encrypted("e")), Salt(Encrypted("f")));
}

TEST_F(KeyCache, ForgetsWhenIdleAndTheAgentLeaves) {
    ::setenv("TAV_TEST_KEY_CACHE_IDLE_SECONDS", "1", 1);
    const std::string a = Encrypted("a");
    ASSERT_TRUE(fs::is_socket(socket_));
    test::Run("/usr/bin/timeout", {"5", "/bin/sh", "-c", "while [ -e \"$0\" ]; do sleep 0.05; done", socket_});
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket_))) << "the agent removes its socket when it leaves";
    EXPECT_NE(Salt(Encrypted("b")), Salt(a));
}

// Whatever the agent answers, it derived: a guess through it costs a full
// key derivation with the file's cost, so the agent is no oracle for a
// process of the same user. It refuses what no file could ask for: a kind
// that once stored keys, an empty key, one too long, no passes, more memory
// than a file may ask.
TEST_F(KeyCache, EveryAnswerIsADerivationAndNothingElseIsAccepted) {
    ASSERT_GE(sodium_init(), 0);
    const tav::agent::Request request = RequestFor(Encrypted("a"));
    for (const std::string guess : {"key", "guess", "another guess"}) {
        std::string master(32, '\0');
        ASSERT_EQ(crypto_pwhash(reinterpret_cast<unsigned char*>(master.data()), master.size(), guess.data(),
                                guess.size(), request.salt.data(), request.opsLimit, request.memLimit,
                                crypto_pwhash_ALG_ARGON2ID13),
                  0);
        EXPECT_EQ(AskAgent(request, guess), master) << guess;
    }
    tav::agent::Request storing = request, noPasses = request, tooMuchMemory = request;
    storing.kind = static_cast<tav::agent::Kind>(3);
    noPasses.opsLimit = 0;
    tooMuchMemory.memLimit = std::uint64_t{4} << 30;
    const std::pair<tav::agent::Request, std::size_t> refused[] = {
        {storing, 3}, {request, 0}, {request, tav::agent::kMaxKeySize + 1}, {noPasses, 3}, {tooMuchMemory, 3}};
    for (const auto& [asked, keySize] : refused) EXPECT_FALSE(AskAgent(asked, std::string(keySize, 'k'))) << keySize;
}

// A flood of requests neither crashes the agent nor grows what it keeps
// in locked memory: it keeps a bounded number of entries.
TEST_F(KeyCache, AFloodOfGuessesLeavesTheAgentSmall) {
    const tav::agent::Request request = RequestFor(Encrypted("a"));
    pid_t agent = 0;
    const auto lockedAfter = [&](int from, int to) {
        for (int i = from; i < to; ++i) EXPECT_TRUE(AskAgent(request, "guess " + std::to_string(i), &agent));
        const std::string locked = "grep VmLck: /proc/$0/status | tr -dc 0-9 >&2";
        return std::stol(test::Run("/bin/sh", {"-c", locked, std::to_string(agent)}).errors);
    };
    const long first = lockedAfter(0, 40), then = lockedAfter(40, 400);
    EXPECT_EQ(Decrypt("a"), kOk);
    if (first == 0) GTEST_SKIP() << "nothing is locked here (AddressSanitizer makes mlock do nothing)";
    EXPECT_LE(then, first + 16) << "360 more entries would hold some 2800 KiB more";
}

// Even with the folder and the socket opened to everyone, another user's
// process gets no answer: the agent checks who asks.
TEST_F(KeyCache, AnotherUserGetsNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    const std::string a = Encrypted("a");
    fs::permissions(folder_.path(), fs::perms(0711));
    fs::permissions(runtime_, fs::perms(0711));
    fs::permissions(socket_, fs::perms(0666));
    // A connection closed or reset without a byte: no answer.
    const std::string ask = "import socket, sys\ns = socket.socket(socket.AF_UNIX)\ns.connect(sys.argv[1])\n"
                            "try: s.send(bytes([1]) + bytes(63)); sys.exit(1 if s.recv(64) else 0)\nexcept OSError: pass";
    const auto stranger = test::Run("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                                         "/usr/bin/python3", "-c", ask, socket_});
    EXPECT_EQ(stranger.status, 0) << stranger.errors;
    fs::permissions(runtime_, fs::perms::owner_all);
    EXPECT_EQ(Salt(Encrypted("b")), Salt(a)) << "the agent still serves its user";
}

}  // namespace
