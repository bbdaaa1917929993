// Folders through TAV: trees that must come back exactly, and hostile
// archives, sealed under the right key so that only the extraction's own
// checks judge them. Run as an ordinary user (tests/support/as-user.sh):
// root would pass the permission checks that some of these faults hide behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "tav/base/failure.h"
#include "tav/engine/encrypt.h"
#include "tav/engine/encrypted_file.h"
#include "tav/format/folder_archive.h"
#include "tav/os/folder.h"
#include "tav/tool.h"
#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace test;

constexpr std::size_t kChunk = 256 * 1024;

// What a tree holds, entry by entry, at any depth: type, permission bits,
// time to the nanosecond and a link's target, then each file's checksum.
std::string Snap(const std::string& root) {
    const std::string list = "cd \"$0\" && { find . -printf '%p %y %m %T@ %l\\n'; find . -type f -exec cksum {} +; } | sort >&2";
    return test::Run("/bin/sh", {"-c", list, root}).errors;
}

void Remove(const std::string& path) { test::Run("/bin/sh", {"-c", "chmod -R u+rwx \"$0\" && rm -rf \"$0\"", path}); }

tav::Record Folder(const std::string& name, std::uint32_t mode = 0755) { return {tav::RecordType::Folder, name, "", {mode, 1000000000, 0}, 0}; }
tav::Record FileRecord(const std::string& name, std::uint64_t size, std::uint32_t mode = 0644) {
    return {tav::RecordType::File, name, "", {mode, 1000000000, 0}, size};
}
tav::Record LinkRecord(const std::string& name, const std::string& to) { return {tav::RecordType::Link, name, to, {0777, 1000000000, 0}, 0}; }
tav::Record End() { return {}; }

std::string Archive(const std::vector<tav::Record>& records) {
    std::string bytes;
    for (const tav::Record& record : records) {
        bytes += tav::SerializeRecord(record);
        if (record.type == tav::RecordType::File) bytes += std::string(record.size, 'x');
    }
    return bytes;
}

class TavFolders : public TavTest {
protected:
    TavFolders() {
        EXPECT_GE(sodium_init(), 0);
        key_ = std::make_unique<tav::SecureBuffer>(3);
        std::memcpy(key_->data(), "key", 3);
    }

    // Seals `archive` as an encrypted folder under the key "key".
    void Seal(const std::string& archive, const std::string& target) {
        WriteFile(file("archive"), archive);
        fs::remove(target);
        tav::EncryptPlaintext({"sealed", target}, tav::SourceFile(file("archive")), true, *key_);
    }

    // Starts a decryption of a large folder and stops it by `signal` once
    // its temporary folder holds something; false when it ended before that.
    bool InterruptExtraction(int signal) {
        if (!fs::exists(file("src_.TAV"))) {
            test::Run("/bin/sh", {"-c", "mkdir src && for i in 1 2 3 4 5 6 7 8; do head -c 16M /dev/urandom > src/$i; done"});
            EXPECT_EQ(Tool({"e1", file("src"), file("src_.TAV"), "key"}).status, kOk);
        }
        Child child(FastTav(), {"d", file("src_.TAV"), file("back"), "key"});
        const std::string filled = "until ls -A .TAV-*/folder 2>/dev/null | grep -q .; do sleep 0.001; done";
        const bool started = test::Run("/usr/bin/timeout", {"5", "/bin/sh", "-c", filled}).status == 0;
        child.Signal(signal);
        EXPECT_EQ(child.Wait(), 128 + signal);
        return started;
    }

    std::unique_ptr<tav::SecureBuffer> key_;
};

// The round trips' trees, each made in "$0": one of everything (nesting, links
// of every kind, names that are not UTF-8, modes, times to the nanosecond); the
// deepest an archive holds; 200 files; 64 MiB between two small files, sparse
// with marks around chunk boundaries, so that misplaced bytes show.
struct Tree { const char* name; const char* script; };
void PrintTo(const Tree& tree, std::ostream* out) { *out << tree.name; }

const Tree kTrees[] = {
    {"tree", R"sh(mkdir -p "$0" && cd "$0" && mkdir -p deep/a/b empty closed && echo leaf > deep/a/b/leaf && : > zero &&
        chmod 400 zero && head -c 262143 /dev/urandom > boundary- && head -c 262145 /dev/urandom > boundary+ &&
        echo Latin-1 > "$(printf 'caf\351 \n -x')" && echo bad > "$(printf 'bad-\377\376')" && echo '#!/bin/sh' > setuid &&
        chmod 4755 setuid && ln -s deep/a relative-link && ln -s /etc/passwd absolute-link && ln -s nowhere dangling-link &&
        echo inside > closed/inside && touch -d @1234567890.123456789 boundary+ && touch -h -d @1000 dangling-link &&
        touch -d @2000000000.000000005 deep/a && chmod 500 closed && touch -d @1500000000.999999999 closed)sh"},
    {"deepest", R"sh(d="$0/$(printf 'd/%.0s' $(seq 1023))" && mkdir -p "$d" && head -c 786432 /dev/urandom > "$d/bottom")sh"},
    {"many", R"sh(mkdir "$0" && cd "$0" && for i in $(seq 0 199); do
        mkdir -p $((i % 10)) && head -c $((i * 7919 % 70000)) /dev/urandom > $((i % 10))/$i; done)sh"},
    {"large", R"sh(mkdir -p "$0/inner" && cd "$0" && head -c 1000 /dev/urandom > a-before && truncate -s 64M inner/large &&
        head -c 1000 /dev/urandom > z-after && for at in 0 262141 46399499 67108856; do
        printf MARK0123 | dd of=inner/large bs=1 seek=$at conv=notrunc status=none; done)sh"},
};

class TavFolderTrees : public TavFolders, public ::testing::WithParamInterface<Tree> {
protected:
    // TAV, or the program it wrote, with 64 descriptors: neither the walk nor
    // the extraction nor the removal after a failure may hold one a level or a file.
    RunResult Limited(const std::string& program, const std::vector<std::string>& arguments, const RunOptions& options = {}) {
        rlimit usual;
        ::getrlimit(RLIMIT_NOFILE, &usual);
        const rlimit few{64, usual.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &few);
        const RunResult result = test::Run(program, arguments, options);
        ::setrlimit(RLIMIT_NOFILE, &usual);
        return result;
    }
};

// Each tree comes back exactly (set-id bits dropped), plain and padded, by D,
// d and the self-decrypting program; damage in the last chunk (when d has
// made everything else) and no room for the first file leave nothing.
TEST_P(TavFolderTrees, RoundTripExactlyAndFailuresLeaveNothing) {
    const std::string name = GetParam().name, source = file(name);
    ASSERT_EQ(test::Run("/bin/sh", {"-c", GetParam().script, source}).status, 0);
    std::string expected = Snap(source);
    if (const auto setuid = expected.find("./setuid f 4755 "); setuid != std::string::npos) expected.replace(setuid, 16, "./setuid f 755 ");
    fs::create_directory(file("inbox"));
    for (const std::string cost : {"1", "0+"}) {
        ASSERT_EQ(Limited(FastTav(), {"e" + cost, source, file("sealed"), "key"}).status, kOk);
        ASSERT_EQ(Limited(FastTav(), {"a" + cost, source, file("inbox/program" + cost), "key"}).status, kOk);
        for (const std::string decrypt : {"D", "d"}) {
            EXPECT_EQ(Limited(FastTav(), {decrypt, file("sealed"), file("back"), "key"}).status, kOk) << decrypt + cost;
            EXPECT_EQ(Snap(file("back")), expected) << decrypt + cost;
            Remove(file("back"));
        }
        EXPECT_EQ(Limited(file("inbox/program" + cost), {}, {"key\n"}).status, kOk) << cost;
        EXPECT_EQ(Snap(file("inbox/" + name)), expected) << "program" + cost;
        Remove(file("inbox/" + name));
        std::string damaged = ReadFile(file("sealed"));
        damaged[damaged.size() - 20] ^= 1;
        WriteFile(file("damaged"), damaged);
        for (const std::string decrypt : {"D", "d"}) ExpectRefused(Limited(FastTav(), {decrypt, file("damaged"), file("back"), "key"}), kDamaged, file("back"));
        ExpectRefused(Limited(FastTav(), {"d", file("sealed"), file("back"), "key"}, {"", 16384}), kIo, file("back"));
        fs::remove(file("sealed"));
    }
    Remove(source);
}

INSTANTIATE_TEST_SUITE_P(Trees, TavFolderTrees, ::testing::ValuesIn(kTrees),
                         [](const auto& info) { return std::string(info.param.name); });

// Salvaging a folder keeps every file that verifies whole and names each
// one it leaves out, one with only its last byte lost too; a record that
// does not verify ends what can be placed.
TEST_F(TavFolders, SalvageKeepsEveryFileThatVerifiesWhole) {
    // b's contents run from byte 1089 to the first byte of the third chunk.
    Seal(Archive({Folder(""), FileRecord("a", 1000), FileRecord("b", 2 * kChunk - 1088), Folder("sub"), FileRecord("c", 1000),
                  End(), End()}), file("album_.TAV"));
    const std::string good = ReadFile(file("album_.TAV"));
    const struct { std::size_t damagedChunk; std::string kept, lost; } cases[] = {
        {1, "a sub sub/c\n", "TAV: lost b\nTAV: salvaged"},
        {2, "a\n", "TAV: lost b\nTAV: lost everything after b (its records are damaged there)\n"},
        {0, "\n", "TAV: lost everything in it (its first records are damaged)\n"},
    };
    for (const auto& c : cases) {
        std::string damaged = good;
        damaged[96 + 280 + c.damagedChunk * (kChunk + 16) + 10] ^= 1;
        WriteFile(file("damaged.TAV"), damaged);
        fs::remove_all(file("out.salvaged"));
        const auto result = Tool({"salvage", file("damaged.TAV"), file("out"), "key"});
        EXPECT_EQ(result.status, kDamaged) << result.errors;
        EXPECT_NE(result.errors.find(c.lost), std::string::npos) << result.errors;
        const std::string kept = test::Run("/bin/sh", {"-c", "cd \"$0\" && echo $(find . -mindepth 1 | cut -c3- | sort) >&2", file("out.salvaged")}).errors;
        EXPECT_EQ(kept, c.kept) << c.damagedChunk;
        EXPECT_EQ(ReadFile(file("out.salvaged/a")), std::string(kept == "\n" ? 0 : 1000, 'x'));
    }
    ExpectNoTemporaries();
}

// A run killed outright leaves its hidden folder; the next successful folder
// decryption there removes it, but nothing that only looks like one, however
// old: a user's own without the marker, with a copied one beside other
// things, or one a running TAV holds.
TEST_F(TavFolders, OnlyFoldersTavProvablyMadeAreEverRemoved) {
    if (!InterruptExtraction(SIGKILL)) GTEST_SKIP() << "the run ended before it could be killed";
    std::string abandoned, marker;
    for (const std::string& name : NamesIn(folder_.path())) abandoned = name.rfind(".TAV-", 0) == 0 ? file(name) : abandoned;
    ASSERT_FALSE(abandoned.empty());
    for (const std::string& name : NamesIn(abandoned)) marker = name != "folder" ? abandoned + "/" + name : marker;
    // The user's own: without a marker, or with a copy of it; each old.
    const std::vector<std::string> mine = {".TAV-backup/2023", ".TAV-nomark/folder", ".TAV-copied/2023", ".TAV-locked/folder"};
    ASSERT_EQ(test::Run("/bin/sh", {"-c", R"sh(for kept in "$@"; do mkdir -p "$kept/closed" && echo the only copy > "$kept/wedding.jpg" &&
        chmod 0 "$kept/closed"; done && chmod 700 .TAV-* && cp "$0" .TAV-copied && cp "$0" .TAV-locked && touch -d @1000 .TAV-*)sh",
                              marker, mine[0], mine[1], mine[2], mine[3]}).status, 0);
    const int held = ::open(file(".TAV-locked").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(Tool({"D", file("src_.TAV"), file("back"), "wrong"}).status, kWrongKey);
    EXPECT_TRUE(fs::exists(abandoned)) << "nothing is removed before a decryption succeeded";
    ASSERT_EQ(Tool({"D", file("src_.TAV"), file("back"), "key"}).status, kOk);
    EXPECT_FALSE(fs::exists(abandoned));
    ::close(held);
    for (const std::string& kept : mine) {
        EXPECT_EQ(ReadFile(file(kept + "/wedding.jpg")), "the only copy\n") << kept;
        ::chmod(file(kept + "/closed").c_str(), 0700);
    }
}

TEST_F(TavFolders, SignalsDuringExtractionRemoveTheFolderBeingBuilt) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        if (!InterruptExtraction(signal)) GTEST_SKIP() << "the run ended before it could be interrupted";
        EXPECT_FALSE(fs::exists(file("back")));
        ExpectNoTemporaries();
    }
}

// Restored permissions pass through the user's umask, as with any archiver.
TEST_F(TavFolders, RestoredPermissionsHonourTheUmask) {
    Seal(Archive({Folder("", 0777), Folder("open", 0777), End(), FileRecord("shared", 1, 0666),
                  FileRecord("private", 1, 0600), End()}),
         file("modes_.TAV"));
    const std::map<mode_t, std::string> modes = {
        {022, "755 755 644 600"}, {077, "700 700 600 600"}, {0, "777 777 666 600"}};
    const mode_t before = ::umask(0);
    for (const auto& [mask, expected] : modes) {
        ::umask(mask);
        fs::remove_all(file("back"));
        ASSERT_EQ(Tool({"D", file("modes_.TAV"), file("back"), "key"}).status, kOk);
        const auto restored = test::Run("/bin/sh", {"-c", "echo $(cd \"$0\" && stat -c %a . open shared private) >&2", file("back")});
        EXPECT_EQ(restored.errors, expected + "\n") << mask;
    }
    ::umask(before);
}

// Someone who may write to the folder swaps a subfolder for a link to the
// victim's private folder and back while it is encrypted: every archive
// holds what was listed, or the run fails. With a file of the same name on
// both sides, a walk that follows the link succeeds about one run in nine.
TEST_F(TavFolders, ASubfolderSwappedForALinkNeverLeadsOutside) {
    ASSERT_EQ(test::Run("/bin/sh", {"-c", R"sh(mkdir -p shared/album/sub private && echo holiday > shared/album/sub/photo &&
        echo SECRET > private/photo && ln -s "$PWD/private" shared/swap)sh"}).status, 0);
    std::atomic<bool> stop{false};
    std::thread attacker([&] {
        while (!stop) {
            ::renameat2(AT_FDCWD, file("shared/album/sub").c_str(), AT_FDCWD, file("shared/swap").c_str(),
                        RENAME_EXCHANGE);
        }
    });
    for (int run = 0; run < 60; ++run) {
        fs::remove(file("album_.TAV"));
        fs::remove_all(file("back"));
        const auto encrypted = Tool({"e1", file("shared/album"), file("album_.TAV"), "key"});
        EXPECT_TRUE(encrypted.status == kOk || encrypted.status == kIo) << encrypted.errors;
        if (encrypted.status != kOk) continue;  // the walk saw the swap
        ASSERT_EQ(Tool({"d", file("album_.TAV"), file("back"), "key"}).status, kOk);
        EXPECT_EQ(test::Run("/bin/grep", {"-rq", "SECRET", file("back")}).status, 1) << "the secret is stored";
    }
    stop = true;
    attacker.join();
}

// Each archive authenticates; the extraction must still refuse it with nothing
// left and nothing written outside, and every way of reading names the entry.
TEST_F(TavFolders, HostileArchivesAreRefusedWithNothingWritten) {
    const std::string outside = file("outside");
    fs::create_directory(outside);
    std::vector<tav::Record> tooDeep(tav::kMaxFolderDepth + 1, Folder("d"));
    tooDeep.front() = Folder("");
    // Complete, so that its depth is the only thing wrong with it.
    tooDeep.resize(2 * tooDeep.size(), End());
    std::string withSetuid = Archive({Folder(""), FileRecord("f", 1), End()});
    withSetuid[tav::kRecordHeadSize + 5 + 1] = 0x09;  // the file's mode becomes 04644

    const std::map<std::string, std::string> archives = {
        {"a name with a slash", Archive({Folder(""), FileRecord("../outside/evil", 1), End()})},
        {"dot dot", Archive({Folder(""), Folder(".."), FileRecord("evil", 1), End(), End()})},
        {"dot", Archive({Folder(""), FileRecord(".", 1), End()})},
        {"an empty name", Archive({Folder(""), FileRecord("", 1), End()})},
        {"a name with NUL", Archive({Folder(""), FileRecord(std::string("a\0b", 3), 1), End()})},
        {"a link, then a folder through it", Archive({Folder(""), LinkRecord("x", outside), Folder("x"),
                                                      FileRecord("evil", 1), End(), End()})},
        {"a link, then a file through it", Archive({Folder(""), LinkRecord("x", outside + "/evil"),
                                                    FileRecord("x", 1), End()})},
        {"a name twice", Archive({Folder(""), FileRecord("f", 1), FileRecord("f", 1), End()})},
        {"no root", Archive({FileRecord("f", 1)})},
        {"a named root", Archive({Folder("root"), End()})},
        {"no end", Archive({Folder(""), FileRecord("f", 1)})},
        {"contents cut short", Archive({Folder(""), FileRecord("f", 10), End()}).substr(0, 29 + 30 + 5)},
        {"data after the end", Archive({Folder(""), End()}) + "x"},
        {"an unknown record", Archive({Folder(""), End()}).replace(29, 1, "Q")},
        {"nested too deeply", Archive(tooDeep)},
        {"a set-id bit", withSetuid},
        {"empty", ""},
        {"a closed root with data after its end", Archive({Folder("", 0), FileRecord("f", 1), End()}) + "x"},
        {"a closed folder holding a file, then a name twice",
         Archive({Folder(""), Folder("closed", 0), FileRecord("f", 1), End(), FileRecord("g", 1), FileRecord("g", 1),
                  End()})},
    };
    for (const auto& [what, archive] : archives) {
        Seal(archive, file("hostile_.TAV"));
        for (const std::string decrypt : {"D", "d"}) {
            SCOPED_TRACE(what + " " + decrypt);
            ExpectRefused(Tool({decrypt, file("hostile_.TAV"), file("back"), "key"}), kDamaged, file("back"));
            EXPECT_TRUE(fs::is_empty(outside));
        }
    }
    Seal(archives.at("a name with a slash"), file("hostile_.TAV"));
    for (const std::string operation : {"D", "d", "salvage"}) {
        const auto result = Tool({operation, file("hostile_.TAV"), file("back"), "key"});
        EXPECT_NE(result.errors.find("../outside/evil"), std::string::npos) << operation << ": " << result.errors;
    }
}

// D reads a folder's archive through in its verifying pass: a name that
// cannot be made, however deep it lies, is refused before the folder being
// built receives a byte; d, in one pass, builds up to it.
TEST_F(TavFolders, VerifyingRefusesAnUnusableNameBeforeAnythingIsMade) {
    struct CountedFolder : tav::OutputFolder {
        using OutputFolder::OutputFolder;
        void Write(const void* data, std::size_t size) override { written += size; OutputFolder::Write(data, size); }
        std::size_t written = 0;
    };
    std::vector<tav::Record> records(tav::kMaxFolderDepth - 1, Folder("d"));
    records.front() = Folder("");
    records.push_back(FileRecord("..", 1));
    Seal(Archive(records), file("deep_.TAV"));
    for (const bool verifyFirst : {true, false}) {
        tav::EncryptedFile encrypted(file("deep_.TAV"));
        encrypted.Open(*key_);
        CountedFolder out(file("back"));
        EXPECT_THROW(tav::DecryptInto(encrypted, out, verifyFirst), tav::Failure);
        EXPECT_EQ(out.written == 0, verifyFirst);
    }
}

// The reader must not depend on how the decrypted stream is cut.
TEST(FolderArchive, ReadsTheSameWhateverThePiecesItIsFedIn) {
    struct Log : tav::FolderBuilder {
        void BeginFolder(const std::string& name, const tav::EntryAttributes&) override { text += "D" + name + ";"; }
        void EndFolder() override { text += "E;"; }
        void BeginFile(const std::string& name, const tav::EntryAttributes&) override { text += "F" + name + ":"; }
        void FileData(const unsigned char* data, std::size_t size) override { text.append(reinterpret_cast<const char*>(data), size); }
        void EndFile() override { text += ";"; }
        void Link(const std::string& name, const std::string& to, const tav::EntryAttributes&) override { text += "L" + name + ">" + to + ";"; }
        std::string text;
    };
    const std::string archive =
        Archive({Folder(""), Folder("a"), FileRecord("f", 3), End(), LinkRecord("l", "a/f"), FileRecord("g", 0), End()});
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{29}, archive.size()}) {
        Log log;
        tav::ArchiveReader reader(log);
        for (std::size_t at = 0; at < archive.size(); at += piece) {
            reader.Feed(reinterpret_cast<const unsigned char*>(archive.data()) + at, std::min(piece, archive.size() - at));
        }
        reader.Finish();
        EXPECT_EQ(log.text, "D;Da;Ff:xxx;E;Ll>a/f;Fg:;E;") << piece;
    }
}

}  // namespace
