// What TAV does with hostile input and an unfriendly environment: sources
// that are not files, inherited signal dispositions, a terminal at the key
// prompt, core dumps, names that would garble messages, targets that cannot
// be written.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

using namespace test;  // the fixture's statuses

class TavHardening : public test::TavTest {
protected:
    std::vector<std::string> Names() const { return test::NamesIn(folder_.path()); }

    void ExpectOneLine(const test::RunResult& result, int status) {
        EXPECT_EQ(result.status, status) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
    }
};

// Opening a FIFO blocks until a writer comes, and a device may do anything:
// neither is ever opened for real, so the run fails at once.
TEST_F(TavHardening, SourcesThatAreNotRegularFilesAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", file("socket").c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_directory(file("folder"));
    for (const std::string& source : {file("fifo"), file("socket"), file("folder"), std::string("/dev/zero")}) {
        for (const std::string operation : {"e1", "D", "d"}) {
            if (source == file("folder") && operation == "e1") continue;  // a folder is encrypted as a whole
            SCOPED_TRACE(operation + " " + source);
            ExpectOneLine(Tool({operation, source, file("out"), "key"}), kIo);
        }
    }
    ::close(listener);
    EXPECT_EQ(Names(), (std::vector<std::string>{"fifo", "folder", "socket"}));
}

// Under nohup a hang-up must not end the run; without it, it ends it cleanly.
TEST_F(TavHardening, SignalsTheParentIgnoredStayIgnored) {
    WriteFile(file("plain"), "data");
    {
        test::Child tav(FastTav(), {"e1", file("plain"), file("kept.TAV")}, {{SIGHUP}});
        ASSERT_TRUE(tav.WaitUntilBlocked());
        tav.Signal(SIGHUP);
        tav.Write("key\n");
        tav.CloseInput();
        EXPECT_EQ(tav.Wait(), kOk);
    }
    test::Child tav(FastTav(), {"e1", file("plain"), file("gone.TAV")});
    ASSERT_TRUE(tav.WaitUntilBlocked());
    tav.Signal(SIGHUP);
    EXPECT_EQ(tav.Wait(), 128 + SIGHUP);
    EXPECT_EQ(Names(), (std::vector<std::string>{"kept.TAV", "plain"}));
}

TEST_F(TavHardening, InterruptAtTheKeyPromptGivesTheTerminalItsEchoBack) {
    WriteFile(file("plain"), "data");
    test::Child tav(FastTav(), {"e1", file("plain"), file("x.TAV")}, {{}, true});
    ASSERT_TRUE(tav.WaitForOutput("Key: "));
    ASSERT_TRUE(tav.WaitUntilBlocked());
    EXPECT_EQ(tav.localModes() & ECHO, 0u) << "the key is typed without echo";
    tav.Write("\x03");  // Ctrl-C
    EXPECT_EQ(tav.Wait(), 128 + SIGINT);
    EXPECT_NE(tav.localModes() & ECHO, 0u);
}

// A core dump would hold the key, the derived keys and the key derivation's
// memory; TAV turns dumps off before it reads the key.
TEST_F(TavHardening, CoreDumpsAreOff) {
    WriteFile(file("plain"), "data");
    test::Child tav(FastTav(), {"e1", file("plain"), file("x.TAV")});
    ASSERT_TRUE(tav.WaitUntilBlocked());
    const std::string limits = ReadFile("/proc/" + std::to_string(tav.pid()) + "/limits");
    const std::size_t line = limits.find("Max core file size");
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(limits.substr(line, limits.find('\n', line) - line).find_first_of("123456789"), std::string::npos)
        << limits.substr(line, 60);
}

TEST_F(TavHardening, NamesAreEscapedInMessages) {
    const auto missing = Tool({"e1", file("line\nbreak\x1b[2J"), file("out"), "key"});
    ExpectOneLine(missing, kIo);
    EXPECT_NE(missing.errors.find("line\\x0abreak\\x1b[2J"), std::string::npos) << missing.errors;

    // A self-decrypting program says which file it restored: the stored name
    // comes from whoever made the program.
    const std::string hostile = "\x1b]0;owned\x07note.txt";
    WriteFile(file(hostile), "contents");
    fs::create_directory(file("inbox"));
    ASSERT_EQ(Tool({"a1", file(hostile), file("inbox/note.EXE"), "key"}).status, kOk);
    const auto restored = test::Run(file("inbox/note.EXE"), {}, {"key\n"});
    ExpectOneLine(restored, kOk);
    EXPECT_EQ(restored.errors.find('\x1b'), std::string::npos);
    EXPECT_NE(restored.errors.find("\\x1b]0;owned\\x07note.txt"), std::string::npos) << restored.errors;
    EXPECT_EQ(ReadFile(file("inbox/" + hostile)), "contents");
}

// Only a trailer that points into the file makes it a self-decrypting one.
TEST_F(TavHardening, AFileEndingInAForeignTrailerIsDamage) {
    std::string bytes(200, 'x');
    bytes += std::string("\xff\xff\xff\xff\xff\xff\x00\x00", 8) + "TAVSFX\x1a\x01";
    WriteFile(file("odd.TAV"), bytes);
    for (const std::string decrypt : {"D", "d"}) ExpectOneLine(Tool({decrypt, file("odd.TAV"), file("out"), "key"}), kDamaged);
}

// A target that cannot be written is found out before the file is verified:
// the run reports it, not the damage it would otherwise have found later.
TEST_F(TavHardening, UnusableTargetsFailBeforeTheWork) {
    WriteFile(file("plain"), std::string(300000, 'p'));
    ASSERT_EQ(Tool({"e1", file("plain"), file("x.TAV"), "key"}).status, kOk);
    std::string damaged = ReadFile(file("x.TAV"));
    damaged[damaged.size() - 3] ^= 1;
    WriteFile(file("x.TAV"), damaged);
    fs::create_directory(file("locked"));
    fs::permissions(file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    const bool rootIgnoresPermissions = ::geteuid() == 0;
    for (const std::string& target : {file("missing/out"), file(std::string(300, 'n')), file("sub/"), file("locked/out")}) {
        if (target == file("locked/out") && rootIgnoresPermissions) continue;
        for (const std::string decrypt : {"D", "d"}) {
            SCOPED_TRACE(decrypt + " " + target.substr(folder_.path().string().size()));
            ExpectOneLine(Tool({decrypt, file("x.TAV"), target, "key"}), kIo);
        }
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"locked", "plain", "x.TAV"}));
}

// While the (long) key derivation runs, the key must already be gone from the
// process's command line; stopping the tool then leaves no file behind.
TEST(TavRealCost, KeyLeavesTheCommandLineAndAStopLeavesNothing) {
    test::TempFolder folder;
    test::WriteFile(folder.file("a.txt"), "x");
    const std::string key = "VerySecretKey-4711";
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(TAV_PATH, "TAV", "e64+", folder.file("a.txt").c_str(), folder.file("a_txt.TAV").c_str(), key.c_str(),
                nullptr);
        ::_exit(127);
    }
    const std::string cmdline = "/proc/" + std::to_string(child) + "/cmdline";
    bool keyGone = false;
    for (int i = 0; i < 500 && !keyGone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string arguments = ReadFile(cmdline);
        keyGone = arguments.find("e64+") != std::string::npos && arguments.find(key) == std::string::npos;
    }
    EXPECT_TRUE(keyGone);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(child, SIGTERM);
    int status;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(test::NamesIn(folder.path()), std::vector<std::string>{"a.txt"});
}

}  // namespace
