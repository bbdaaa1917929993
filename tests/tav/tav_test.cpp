// TAV as a program, most with the cheapest key derivation: round trips,
// damage, the self-decrypting program, refusals, and an unfriendly
// environment (signals, a terminal, core dumps, the key on the command line).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace test;

constexpr std::size_t kChunk = 256 * 1024;

class Tav : public TavTest {
protected:
    // Encrypts `contents` with `operation` and returns the encrypted file's path.
    std::string Encrypted(const std::string& contents, const std::string& operation = "e1") {
        WriteFile(file("plain"), contents);
        fs::remove(file("plain_.TAV"));
        const auto result = Tool({operation, file("plain"), file("plain_.TAV"), "key"});
        EXPECT_EQ(result.status, kOk) << result.errors;
        return file("plain_.TAV");
    }

    // The folder's entries, each with its type, a link's target and a file's checksum.
    std::string Holdings() const {
        const std::string list = "{ find . -maxdepth 1 -printf '%p %y %l\\n'; find . -maxdepth 1 -type f -exec cksum {} +; } | sort >&2";
        return test::Run("/bin/sh", {"-c", list}).errors;
    }

    // TAV encrypting "plain", waiting for the key on a pipe or a terminal.
    std::unique_ptr<Child> AtTheKeyPrompt(const std::string& target, const ChildOptions& options = {}) {
        WriteFile(file("plain"), "data");
        return std::make_unique<Child>(FastTav(), std::vector<std::string>{"e1", file("plain"), file(target)}, options);
    }
};

// Rounds 0 to 64 (leading zeros too), with and without paranoia, around the
// chunk size, through the unnamed file and the named temporary: the contents
// come back with the mode any new file of the user gets; encrypted ones stay private.
TEST_F(Tav, RoundTripsAroundTheChunkSize) {
    const mode_t before = ::umask(027);
    for (const std::string operation : {"e1", "e0+", "a2", "e64", "e007"}) {
        for (const std::size_t size : {0ul, 1ul, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 5}) {
            const std::string contents = PseudoRandomBytes(size, static_cast<unsigned>(size));
            const std::string encrypted = Encrypted(contents, operation);
            EXPECT_EQ(fs::status(encrypted).permissions(), fs::perms(operation[0] == 'a' ? 0700 : 0600));
            for (const std::string decrypt : {"D", "d", "D named", "d named"}) {
                SCOPED_TRACE(operation + " " + decrypt + " " + std::to_string(size));
                decrypt.size() > 1 ? ::setenv("TAV_TEST_NAMED_TEMPORARY", "1", 1) : ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
                fs::remove(file("out"));
                const auto result = Tool({decrypt.substr(0, 1), encrypted, file("out"), "key"});
                ASSERT_EQ(result.status, kOk) << result.errors;
                EXPECT_EQ(result.errors, "");
                EXPECT_TRUE(ReadFile(file("out")) == contents);
                EXPECT_EQ(fs::status(file("out")).permissions(), fs::perms(0640));
            }
        }
    }
    ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
    ::umask(before);
}

// The stored name comes from whoever made the program: it is told escaped;
// nothing is overwritten, and nothing restored but what the program carries.
TEST_F(Tav, SelfDecryptingProgramRestoresTheFileNextToItself) {
    const std::string name = "\x1b]0;owned\x07report.txt";
    WriteFile(file(name), "the report");
    fs::create_directory(file("inbox"));
    ASSERT_EQ(Tool({"a1", file(name), file("inbox/report.EXE"), "key"}).status, kOk);
    const auto program = [&](const std::vector<std::string>& arguments, const std::string& input) {
        return test::Run(file("inbox/report.EXE"), arguments, {input});
    };
    EXPECT_EQ(program({}, "nope\n").status, kWrongKey);
    const auto restored = program({}, "key\n");
    ASSERT_EQ(restored.status, kOk) << restored.errors;
    EXPECT_EQ(ReadFile(file("inbox/" + name)), "the report");
    EXPECT_EQ(std::count(restored.errors.begin(), restored.errors.end(), '\n'), 1) << restored.errors;
    EXPECT_NE(restored.errors.find("\\x1b]0;owned\\x07report.txt"), std::string::npos) << restored.errors;
    EXPECT_EQ(program({}, "key\n").status, kTargetExists);
    EXPECT_EQ(program({"D", file("inbox/" + name), file("x")}, "").status, kUsage);
    ASSERT_EQ(Tool({"D", file("inbox/report.EXE"), file("via-tav.txt"), "key"}).status, kOk);
    EXPECT_EQ(ReadFile(file("via-tav.txt")), "the report");
}

// A wrong key, a flipped bit in every field, files cut short or extended:
// Vectors.MalformedOnesGiveTheirStatusAndNoOutput.

// Damage is told by where it is in the contents, so that a user knows what is
// lost, and "salvage" keeps the rest in place, zero bytes standing for the lost.
TEST_F(Tav, DamageSaysWhereItIsAndSalvageKeepsTheRest) {
    const std::size_t size = 3 * kChunk + 100, payload = 96 + 280, sealed = kChunk + 16;
    const std::string original = PseudoRandomBytes(size, 7), good = ReadFile(Encrypted(original));
    const auto flipped = [&](std::size_t at) { return good.substr(0, at) + char(good[at] ^ 1) + good.substr(at + 1); };
    std::string swapped = good;
    std::swap_ranges(swapped.begin() + payload, swapped.begin() + payload + sealed, swapped.begin() + payload + sealed);
    // The bytes, what D and d say, and the bytes salvage cannot keep.
    const struct { std::string bytes, message; std::size_t lostFrom, lostTo; } cases[] = {
        {flipped(payload + 5), "damaged at bytes 0 to 262143 of its 786532 bytes (chunk 1 of 4)", 0, kChunk},
        {flipped(payload + 2 * sealed + 9), "at bytes 524288 to 786431 of its 786532 bytes (chunk 3 of 4)", 2 * kChunk, 3 * kChunk},
        {flipped(good.size() - 1), "at bytes 786432 to 786531 of its 786532 bytes (chunk 4 of 4)", 3 * kChunk, size},
        {swapped, "at bytes 0 to 262143 of its 786532 bytes (chunk 1 of 4)", 0, 2 * kChunk},
        {good.substr(0, payload + 2 * sealed + 10), "cut short: of its 786532 bytes of contents only the first 524288 are there, "
                                                     "the rest is missing", 2 * kChunk, size},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        WriteFile(file("damaged.TAV"), c.bytes);
        for (const std::string mode : {"D", "d"}) {
            const auto result = Tool({mode, file("damaged.TAV"), file("out"), "key"});
            ExpectRefused(result, kDamaged, file("out"));
            EXPECT_NE(result.errors.find(c.message), std::string::npos) << result.errors;
        }
        const auto result = Tool({"salvage", file("damaged.TAV"), file("out"), "key"});
        EXPECT_EQ(result.status, kDamaged) << result.errors;
        const std::string lost = "lost bytes " + std::to_string(c.lostFrom) + " to " + std::to_string(c.lostTo - 1);
        EXPECT_NE(result.errors.find(lost), std::string::npos) << result.errors;
        std::string expected = original;
        std::fill(expected.begin() + c.lostFrom, expected.begin() + c.lostTo, '\0');
        EXPECT_TRUE(ReadFile(file("out.salvaged")) == expected);
        fs::remove(file("out.salvaged"));
    }
    // Nothing lost: all of it, and success; a wrong key: nothing at all.
    WriteFile(file("damaged.TAV"), good);
    EXPECT_EQ(Tool({"salvage", file("damaged.TAV"), file("out"), "key"}).status, kOk);
    EXPECT_TRUE(ReadFile(file("out.salvaged")) == original);
    ExpectRefused(Tool({"salvage", file("damaged.TAV"), file("other"), "wrong"}), kWrongKey, file("other.salvaged"));
}

// Without a fourth argument the key is read from standard input; with one,
// that argument is the key, "-" included, whatever standard input holds.
TEST_F(Tav, KeyFromStandardInputOnlyWithoutAKeyArgument) {
    WriteFile(file("plain"), "typed by hand");
    ASSERT_EQ(Tool({"e1", file("plain"), file("x.TAV")}, {"a key with spaces\r\n"}).status, kOk);
    EXPECT_EQ(Tool({"D", file("x.TAV"), file("out"), "a key with spaces"}).status, kOk);
    EXPECT_EQ(ReadFile(file("out")), "typed by hand");
    ASSERT_EQ(Tool({"e1", file("plain"), file("dash.TAV"), "-"}, {"not the key\n"}).status, kOk);
    EXPECT_EQ(Tool({"d", file("dash.TAV"), file("dash-out"), "-"}).status, kOk);
    EXPECT_EQ(Tool({"d", file("dash.TAV"), file("wrong-out")}, {"not the key\n"}).status, kWrongKey);
}

// Every refusal, through the unnamed file and the named temporary: its status,
// one line "TAV: ..." (names escaped), and the folder as it was. A target that
// cannot be written is found out before the source is verified.
TEST_F(Tav, RefusalsLeaveTheFolderAsItWas) {
    const std::string plain = file("plain"), encrypted = Encrypted(PseudoRandomBytes(4 * kChunk, 5));
    std::string bytes = ReadFile(encrypted);
    bytes[bytes.size() - 3] ^= 1;
    WriteFile(file("damaged.TAV"), bytes);
    // A FIFO in a folder would block the walk's read forever.
    ASSERT_EQ(test::Run("/bin/sh", {"-c", R"sh(echo mine > mine && ln -s nowhere dangling && mkfifo fifo &&
        mkdir -p full/kept empty folder/sub odd locked && echo f > folder/sub/f && mkfifo odd/fifo && chmod 500 locked)sh"}).status, 0);
    ASSERT_EQ(Tool({"e1", file("folder"), file("folder.TAV"), "key"}).status, kOk);

    struct Row { std::vector<std::string> arguments; int status; RunOptions options; std::string said; int namedStatus; };
    std::vector<Row> rows;
    const auto refuse = [&](int status, const std::vector<std::string>& operations, const std::vector<std::string>& rest,
                            const RunOptions& options = {}, const std::string& said = "TAV: ") {
        for (const std::string& operation : operations) {
            rows.push_back({{operation}, status, options, said, status});
            rows.back().arguments.insert(rows.back().arguments.end(), rest.begin(), rest.end());
        }
    };
    const std::string out = file("out"), key = "key";
    refuse(kUsage, {"", "x1", "E1", "e", "e+", "e1++", "e-1", "e65", "e99999999999", "D+", "dd", "e1x"}, {plain, out, key});
    using Arguments = std::vector<std::string>;
    for (const Arguments& rest : {Arguments{plain, out, ""}, {plain}, {plain, out, key, "more"}, {plain, plain, key}}) refuse(kUsage, {"e1"}, rest);
    refuse(kUsage, {"e1"}, {plain, out}, {"\n"});
    refuse(kTargetExists, {"e1", "a1"}, {plain, file("mine"), key});
    refuse(kTargetExists, {"D", "d"}, {encrypted, file("mine"), key});
    refuse(kTargetExists, {"e1"}, {plain, file("dangling"), key});
    for (const std::string& folder : {file("empty"), file("full")}) refuse(kTargetExists, {"D", "d"}, {file("folder.TAV"), folder, key});
    refuse(kIo, {"e1"}, {file("line\nbreak\x1b[2J"), out, key}, {}, "line\\x0abreak\\x1b[2J");
    refuse(kIo, {"e1"}, {file("odd"), out, key}, {}, "not a file, folder or link");
    refuse(kIo, {"D", "d"}, {file("folder"), out, key});
    for (const std::string& source : {file("fifo"), std::string("/dev/zero")}) refuse(kIo, {"e1", "D", "d"}, {source, out, key});
    refuse(kIo, {"e1"}, {plain, file("no-such-folder/out"), key});
    for (const std::string& target : {file("missing/out"), file(std::string(300, 'n')), file("sub/"), file("locked/out")}) {
        if (target != file("locked/out") || ::geteuid() != 0) refuse(kIo, {"D", "d"}, {file("damaged.TAV"), target, key});
    }
    refuse(kIo, {"e1", "a1"}, {plain, out, key}, {"", static_cast<long>(2 * kChunk)});
    refuse(kIo, {"D", "d"}, {encrypted, out, key}, {"", static_cast<long>(2 * kChunk)});
    refuse(kDamaged, {"D", "d"}, {file("damaged.TAV"), out, key});
    // Where the output must be named while it is written, D verifies before
    // it writes a byte: with no room for one it still finds the damage.
    refuse(kIo, {"D"}, {file("damaged.TAV"), out, key}, {"", 0});
    rows.back().namedStatus = kDamaged;

    const auto before = Holdings();
    for (const bool named : {false, true}) {
        named ? ::setenv("TAV_TEST_NAMED_TEMPORARY", "1", 1) : ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
        for (const Row& row : rows) {
            std::string trace = named ? "named" : "unnamed";
            for (const std::string& argument : row.arguments) trace += " " + argument;
            SCOPED_TRACE(trace);
            const auto result = Tool(row.arguments, row.options);
            EXPECT_EQ(result.status, named ? row.namedStatus : row.status) << result.errors;
            EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
            EXPECT_EQ(result.errors.rfind("TAV: ", 0), 0u) << result.errors;
            EXPECT_NE(result.errors.find(row.said), std::string::npos) << result.errors;
            EXPECT_EQ(Holdings(), before);
        }
    }
    ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
}

// Under nohup a hang-up must not end the run (without it, it ends it:
// TavFolders.SignalsDuringExtractionRemoveTheFolderBeingBuilt).
TEST_F(Tav, SignalsTheParentIgnoredStayIgnored) {
    const auto kept = AtTheKeyPrompt("kept.TAV", {{SIGHUP}});
    ASSERT_TRUE(kept->WaitUntilBlocked());
    kept->Signal(SIGHUP);
    kept->Write("key\n");
    kept->CloseInput();
    EXPECT_EQ(kept->Wait(), kOk);
    EXPECT_EQ(NamesIn(folder_.path()), (std::vector<std::string>{"kept.TAV", "plain"}));
}

// At the key prompt on a terminal: no echo, and core dumps off (a dump would
// hold the key, the derived keys and the key derivation's memory); Ctrl-C
// gives the terminal its echo back.
TEST_F(Tav, AtTheKeyPromptNoEchoNoCoreDumpAndInterruptGivesTheEchoBack) {
    const auto tav = AtTheKeyPrompt("x.TAV", {{}, true});
    ASSERT_TRUE(tav->WaitForOutput("Key: "));
    ASSERT_TRUE(tav->WaitUntilBlocked());
    EXPECT_EQ(tav->localModes() & ECHO, 0u) << "the key is typed without echo";
    const std::string limits = "/proc/" + std::to_string(tav->pid()) + "/limits";
    EXPECT_EQ(test::Run("/bin/grep", {"-Eq", "^Max core file size +0 ", limits}).status, 0) << ReadFile(limits);
    tav->Write("\x03");  // Ctrl-C
    EXPECT_EQ(tav->Wait(), 128 + SIGINT);
    EXPECT_NE(tav->localModes() & ECHO, 0u);
}

// While the (long) key derivation runs, the key must already be gone from the
// process's command line; stopping the tool then leaves no file behind.
TEST(TavRealCost, KeyLeavesTheCommandLineAndAStopLeavesNothing) {
    TempFolder folder;
    WriteFile(folder.file("a.txt"), "x");
    const std::string key = "VerySecretKey-4711";
    Child tav(TAV_PATH, {"e64+", folder.file("a.txt"), folder.file("a_txt.TAV"), key});
    const std::string gone = "until grep -q e64+ \"$0\" && ! grep -q \"$1\" \"$0\"; do sleep 0.01; done";
    const std::string cmdline = "/proc/" + std::to_string(tav.pid()) + "/cmdline";
    EXPECT_EQ(test::Run("/usr/bin/timeout", {"5", "/bin/sh", "-c", gone, cmdline, key}).status, 0) << ReadFile(cmdline);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tav.Signal(SIGTERM);
    EXPECT_EQ(tav.Wait(), 128 + SIGTERM);
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"a.txt"});
}

}  // namespace
