// End-to-end tests of the TAV tool. Most use a build with the cheapest key
// derivation; RealParameters and the vectors use the real tool.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kTag = 16;
constexpr std::size_t kHeader = 96;
constexpr std::size_t kSealedMetadata = 264 + kTag;

using namespace test;  // the fixture's statuses

class Tav : public test::TavTest {
protected:

    // Encrypts `contents` with `operation` and returns the encrypted file's path.
    std::string Encrypted(const std::string& contents, const std::string& operation = "e1") {
        WriteFile(file("plain"), contents);
        const std::string target = file("plain_.TAV");
        fs::remove(target);
        const auto result = Tool({operation, file("plain"), target, "key"});
        EXPECT_EQ(result.status, kOk) << result.errors;
        return target;
    }

    // Expects a failure with `status`, one line of explanation, no target and
    // no temporary file left in the folder.
    void ExpectFailure(const test::RunResult& result, int status, const std::string& target) {
        EXPECT_EQ(result.status, status) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        EXPECT_EQ(result.errors.rfind("TAV: ", 0), 0u) << result.errors;
        EXPECT_FALSE(fs::exists(fs::symlink_status(target))) << target;
        ExpectNoTemporaries();
    }
};

TEST_F(Tav, RoundTripsAroundTheChunkSize) {
    const std::size_t sizes[] = {0, 1, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 5};
    for (const std::string operation : {"e1", "e0+", "a2"}) {
        for (const std::size_t size : sizes) {
            const std::string contents = PseudoRandomBytes(size, static_cast<unsigned>(size));
            const std::string encrypted = Encrypted(contents, operation);
            for (const std::string decrypt : {"D", "d"}) {
                SCOPED_TRACE(operation + " " + decrypt + " " + std::to_string(size));
                fs::remove(file("out"));
                const auto result = Tool({decrypt, encrypted, file("out"), "key"});
                ASSERT_EQ(result.status, kOk) << result.errors;
                EXPECT_EQ(result.errors, "");
                EXPECT_TRUE(ReadFile(file("out")) == contents);
            }
        }
    }
}

// A decrypted file gets the mode any new file of the user gets, through
// the unnamed file and the named temporary alike; an encrypted one stays
// private.
TEST_F(Tav, DecryptedFilesGetTheUsersModeAndEncryptedOnesStayPrivate) {
    const mode_t before = ::umask(0);
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        ::umask(mask);
        const std::string encrypted = Encrypted("data");
        EXPECT_EQ(fs::status(encrypted).permissions(), fs::perms(0600));
        for (const bool named : {false, true}) {
            named ? ::setenv("TAV_TEST_NAMED_TEMPORARY", "1", 1) : ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
            for (const std::string decrypt : {"D", "d"}) {
                SCOPED_TRACE(decrypt + (named ? " named" : " unnamed") + " umask " + std::to_string(mask));
                fs::remove(file("out"));
                ASSERT_EQ(Tool({decrypt, encrypted, file("out"), "key"}).status, kOk);
                EXPECT_EQ(fs::status(file("out")).permissions(), fs::perms(0666 & ~mask));
            }
        }
    }
    ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
    ::umask(before);
}

TEST_F(Tav, PlainFilesGrowByAFixedAmountAndPaddedOnesHideTheSize) {
    for (const std::size_t size : {0ul, 1000ul, 3 * kChunk + 5}) {
        const auto plain = fs::file_size(Encrypted(std::string(size, 'x'), "e1"));
        const std::size_t chunks = size == 0 ? 1 : (size + kChunk - 1) / kChunk;
        EXPECT_EQ(plain, kHeader + kSealedMetadata + size + kTag * chunks);
    }
    EXPECT_EQ(fs::file_size(Encrypted(std::string(1000, 'x'), "e1+")),
              fs::file_size(Encrypted(std::string(1020, 'x'), "e1+")));
}

TEST_F(Tav, SelfDecryptingProgramRestoresTheFileNextToItself) {
    WriteFile(file("report.txt"), "the report");
    fs::create_directory(file("inbox"));
    ASSERT_EQ(Tool({"a1", file("report.txt"), file("inbox/report_txt.EXE"), "key"}).status, kOk);
    EXPECT_EQ(fs::status(file("inbox/report_txt.EXE")).permissions(), fs::perms(0700));

    const auto wrong = test::Run(file("inbox/report_txt.EXE"), {}, {"nope\n"});
    EXPECT_EQ(wrong.status, kWrongKey) << wrong.errors;
    const auto right = test::Run(file("inbox/report_txt.EXE"), {}, {"key\n"});
    ASSERT_EQ(right.status, kOk) << right.errors;
    EXPECT_EQ(ReadFile(file("inbox/report.txt")), "the report");

    const auto again = test::Run(file("inbox/report_txt.EXE"), {}, {"key\n"});
    EXPECT_EQ(again.status, kTargetExists) << "a restored file is never overwritten";
    EXPECT_EQ(test::Run(file("inbox/report_txt.EXE"), {"D", file("inbox/report.txt"), file("x")}).status, kUsage)
        << "it only restores what it carries";
    ASSERT_EQ(Tool({"D", file("inbox/report_txt.EXE"), file("via-tav.txt"), "key"}).status, kOk);
    EXPECT_EQ(ReadFile(file("via-tav.txt")), "the report");
}

// A wrong key, a flipped bit in every field and chunk, files cut short or
// extended anywhere: the malformed vectors hold each, and
// MalformedVectors.EachGivesItsStatusAndNoOutput runs them.

// With only the very last chunk bad, both decryptions have written plenty
// by the time they meet it, and none of it ever had a name. Where output
// files must be named while they are written, D verifies everything before
// it writes a byte: with no room for a single byte it still reports the
// damage, not a failed write (d may meet either first).
TEST_F(Tav, VerifyingDecryptionShowsNoPlaintextBeforeTheWholeFileIsChecked) {
    std::string damaged = ReadFile(Encrypted(PseudoRandomBytes(5 * kChunk, 3)));
    damaged[damaged.size() - 5] ^= 1;
    WriteFile(file("late.TAV"), damaged);
    for (const std::string decrypt : {"D", "d"}) {
        ExpectFailure(Tool({decrypt, file("late.TAV"), file("out"), "key"}), kDamaged, file("out"));
    }
    ::setenv("TAV_TEST_NAMED_TEMPORARY", "1", 1);
    const test::RunOptions noRoom{"", 0};
    ExpectFailure(Tool({"D", file("late.TAV"), file("out"), "key"}, noRoom), kDamaged, file("out"));
    const auto streaming = Tool({"d", file("late.TAV"), file("out"), "key"}, noRoom);
    ExpectFailure(streaming, streaming.status == kDamaged ? kDamaged : kIo, file("out"));
    ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
}

// Damage is told by where it is in the contents, so that a user knows what
// is lost, and "salvage" keeps the rest in place, zero bytes standing for
// what is lost: a flipped bit in the first, a middle or the last chunk, two
// chunks swapped, or the end cut off.
TEST_F(Tav, DamageSaysWhereItIsAndSalvageKeepsTheRest) {
    const std::size_t size = 3 * kChunk + 100;
    const std::string original = PseudoRandomBytes(size, 7);
    const std::string good = ReadFile(Encrypted(original));
    const std::size_t payload = kHeader + kSealedMetadata, sealed = kChunk + kTag;
    const auto flipped = [&](std::size_t at) {
        std::string bytes = good;
        bytes[at] ^= 1;
        return bytes;
    };
    std::string swapped = good;
    std::swap_ranges(swapped.begin() + payload, swapped.begin() + payload + sealed, swapped.begin() + payload + sealed);
    const struct {
        const char* name;
        std::string bytes;
        std::string message;          // of D and d
        std::size_t lostFrom, lostTo;  // the bytes salvage cannot keep
    } cases[] = {
        {"first chunk", flipped(payload + 5), "damaged at bytes 0 to 262143 of its 786532 bytes (chunk 1 of 4)", 0,
         kChunk},
        {"middle chunk", flipped(payload + 2 * sealed + 9),
         "at bytes 524288 to 786431 of its 786532 bytes (chunk 3 of 4)", 2 * kChunk, 3 * kChunk},
        {"last chunk", flipped(good.size() - 1), "at bytes 786432 to 786531 of its 786532 bytes (chunk 4 of 4)",
         3 * kChunk, size},
        {"swapped chunks", swapped, "at bytes 0 to 262143 of its 786532 bytes (chunk 1 of 4)", 0, 2 * kChunk},
        {"missing end", good.substr(0, payload + 2 * sealed + 10),
         "cut short: of its 786532 bytes of contents only the first 524288 are there, the rest is missing",
         2 * kChunk, size},
    };
    for (const auto& c : cases) {
        WriteFile(file("damaged.TAV"), c.bytes);
        for (const std::string mode : {"D", "d"}) {
            SCOPED_TRACE(std::string(c.name) + " " + mode);
            const auto result = Tool({mode, file("damaged.TAV"), file("out"), "key"});
            ExpectFailure(result, kDamaged, file("out"));
            EXPECT_NE(result.errors.find(c.message), std::string::npos) << result.errors;
        }
        SCOPED_TRACE(std::string(c.name) + " salvage");
        const auto result = Tool({"salvage", file("damaged.TAV"), file("out"), "key"});
        EXPECT_EQ(result.status, kDamaged) << result.errors;
        const std::string lost = "lost bytes " + std::to_string(c.lostFrom) + " to " + std::to_string(c.lostTo - 1);
        EXPECT_NE(result.errors.find(lost), std::string::npos) << result.errors;
        std::string expected = original;
        std::fill(expected.begin() + c.lostFrom, expected.begin() + c.lostTo, '\0');
        EXPECT_TRUE(ReadFile(file("out.salvaged")) == expected);
        EXPECT_FALSE(fs::exists(file("out")));
        fs::remove(file("out.salvaged"));
    }
    // Nothing lost: all of it, and success; a wrong key: nothing at all.
    WriteFile(file("damaged.TAV"), good);
    EXPECT_EQ(Tool({"salvage", file("damaged.TAV"), file("out"), "key"}).status, kOk);
    EXPECT_TRUE(ReadFile(file("out.salvaged")) == original);
    ExpectFailure(Tool({"salvage", file("damaged.TAV"), file("other"), "wrong"}), kWrongKey, file("other.salvaged"));
}

TEST_F(Tav, ExistingTargetIsLeftUntouched) {
    const std::string encrypted = Encrypted("data");
    WriteFile(file("out"), "mine");
    for (const std::string operation : {"e1", "a1", "D", "d"}) {
        const auto result = Tool({operation, operation[0] == 'e' || operation[0] == 'a' ? file("plain") : encrypted,
                                  file("out"), "key"});
        EXPECT_EQ(result.status, kTargetExists) << operation;
        EXPECT_EQ(ReadFile(file("out")), "mine");
    }
    fs::create_symlink(file("nowhere"), file("dangling"));
    EXPECT_EQ(Tool({"e1", file("plain"), file("dangling"), "key"}).status, kTargetExists);
    ExpectNoTemporaries();
}

TEST_F(Tav, BadArgumentsAreUsageErrors) {
    WriteFile(file("plain"), "data");
    for (const std::string operation : {"", "x1", "E1", "e", "e+", "e1++", "e-1", "e65", "e99999999999", "D+", "dd", "e1x"}) {
        SCOPED_TRACE(operation);
        ExpectFailure(Tool({operation, file("plain"), file("out"), "key"}), kUsage, file("out"));
    }
    ExpectFailure(Tool({"e1", file("plain"), file("out"), ""}), kUsage, file("out"));
    ExpectFailure(Tool({"e1", file("plain"), file("out")}, {"\n"}), kUsage, file("out"));
    EXPECT_EQ(Tool({"e1", file("plain")}).status, kUsage);
    EXPECT_EQ(Tool({"e1", file("plain"), file("out"), "key", "more"}).status, kUsage);
    EXPECT_EQ(Tool({"e1", file("plain"), file("plain"), "key"}).status, kUsage);
    EXPECT_EQ(ReadFile(file("plain")), "data");
    for (const std::string operation : {"e0", "e64", "e007"}) {
        fs::remove(file("out"));
        EXPECT_EQ(Tool({operation, file("plain"), file("out"), "key"}).status, kOk) << operation;
    }
}

// What the tool says of itself, on standard output.
TEST_F(Tav, HelpAndVersionSayWhatThisBuildDoes) {
    const auto said = [](const std::string& option) {
        return test::Run("/bin/sh", {"-c", FastTav() + " " + option + " 1>&2"}).errors;
    };
    EXPECT_EQ(said("--version"), "TAV " PROJECT_VERSION "\n");
    EXPECT_NE(said("--help").find("a file or a folder"), std::string::npos) << said("--help");
}

// Without a fourth argument the key is read from standard input; with one,
// that argument is the key, whatever it is ("-" included) and whatever
// standard input holds.
TEST_F(Tav, KeyFromStandardInputOnlyWithoutAKeyArgument) {
    WriteFile(file("plain"), "typed by hand");
    ASSERT_EQ(Tool({"e1", file("plain"), file("x.TAV")}, {"a key with spaces\r\n"}).status, kOk);
    EXPECT_EQ(Tool({"D", file("x.TAV"), file("out"), "a key with spaces"}).status, kOk);
    EXPECT_EQ(ReadFile(file("out")), "typed by hand");

    ASSERT_EQ(Tool({"e1", file("plain"), file("dash.TAV"), "-"}, {"not the key\n"}).status, kOk);
    EXPECT_EQ(Tool({"d", file("dash.TAV"), file("dash-out"), "-"}).status, kOk);
    EXPECT_EQ(Tool({"d", file("dash.TAV"), file("wrong-out")}, {"not the key\n"}).status, kWrongKey);
}

TEST_F(Tav, UnreadableSourceAndUnwritableTargetAreIoErrors) {
    ExpectFailure(Tool({"e1", file("missing"), file("out"), "key"}), kIo, file("out"));
    fs::create_directory(file("folder"));
    ExpectFailure(Tool({"d", file("folder"), file("out"), "key"}), kIo, file("out"));
    WriteFile(file("plain"), "data");
    ExpectFailure(Tool({"e1", file("plain"), file("no-such-folder/out"), "key"}), kIo, file("no-such-folder/out"));
}

TEST_F(Tav, FullDiskLeavesNothingBehind) {
    const std::string encrypted = Encrypted(PseudoRandomBytes(4 * kChunk, 5));
    const test::RunOptions limited{"", static_cast<long>(2 * kChunk)};
    ExpectFailure(Tool({"e1", file("plain"), file("big.TAV"), "key"}, limited), kIo, file("big.TAV"));
    ExpectFailure(Tool({"a1", file("plain"), file("big.EXE"), "key"}, limited), kIo, file("big.EXE"));
    ExpectFailure(Tool({"D", encrypted, file("out"), "key"}, limited), kIo, file("out"));
    ExpectFailure(Tool({"d", encrypted, file("out"), "key"}, limited), kIo, file("out"));
}

}  // namespace
