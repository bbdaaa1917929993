// Folders through TAV: round trips that must restore a tree exactly, and
// hostile archives (sealed under the right key, so only the extraction's
// own checks stand between them and the file system) that must be refused
// with nothing written anywhere. Linked with the cheapest key derivation.
// Run as an ordinary user with 1024 descriptors (tests/support/as-user.sh):
// root would pass the permission checks that some of these faults hide behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <cstring>
#include <random>
#include <atomic>
#include <thread>

#include "tav/base/failure.h"
#include "tav/os/files.h"
#include "tav/os/folder.h"
#include "tav/format/folder_archive.h"
#include "tav/engine/encrypt.h"
#include "tav/engine/encrypted_file.h"
#include "tav/engine/self_image.h"
#include "tav/tool.h"
#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

using namespace test;  // the fixture's statuses
constexpr std::size_t kChunk = 256 * 1024;

// What a tree holds, entry by entry: type, permission bits, time and
// contents (a link's target for a link), by relative path.
using Snapshot = std::map<std::string, std::string>;

Snapshot Snap(const fs::path& root) {
    Snapshot snapshot;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat st;
        EXPECT_EQ(::lstat(entry.path().c_str(), &st), 0);
        std::string what = std::to_string(st.st_mode & 07777) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                           std::to_string(st.st_mtim.tv_nsec) + " ";
        if (S_ISLNK(st.st_mode)) {
            what = "link " + fs::read_symlink(entry.path()).string() + " " + std::to_string(st.st_mtim.tv_sec);
        } else if (S_ISDIR(st.st_mode)) {
            what = "folder " + what;
        } else {
            what = "file " + what + ReadFile(entry.path().string());
        }
        snapshot[fs::relative(entry.path(), root).string()] = what;
    }
    return snapshot;
}

void SetTime(const std::string& path, long seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}


// An archive held in memory, for sealing whatever a test makes up.
class MemorySource : public tav::PlainSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const override {
        if (offset >= bytes_.size()) return 0;
        const std::size_t take = std::min<std::size_t>(size, bytes_.size() - offset);
        std::memcpy(buffer, bytes_.data() + offset, take);
        return take;
    }

private:
    std::string bytes_;
};

tav::Record Folder(const std::string& name, std::uint32_t mode = 0755) {
    return {tav::RecordType::Folder, name, "", {mode, 1000000000, 0}, 0};
}
tav::Record FileRecord(const std::string& name, std::uint64_t size, std::uint32_t mode = 0644) {
    return {tav::RecordType::File, name, "", {mode, 1000000000, 0}, size};
}
tav::Record LinkRecord(const std::string& name, const std::string& target) {
    return {tav::RecordType::Link, name, target, {0777, 1000000000, 0}, 0};
}
tav::Record End() { return {}; }

std::string Archive(const std::vector<tav::Record>& records) {
    std::string bytes;
    for (const tav::Record& record : records) {
        bytes += tav::SerializeRecord(record);
        if (record.type == tav::RecordType::File) bytes += std::string(record.size, 'x');
    }
    return bytes;
}


class TavFolders : public test::TavTest {
protected:

    // Seals `archive` as an encrypted folder under the key "key", so that
    // only the extraction's own checks judge it.
    void Seal(const std::string& archive, const std::string& target) {
        static const bool ready = sodium_init() >= 0;
        ASSERT_TRUE(ready);
        tav::EncryptJob job;
        job.source = "sealed";
        job.target = target;
        job.rounds = 1;
        fs::remove(target);
        tav::SecureBuffer key(3);
        std::memcpy(key.data(), "key", 3);
        tav::EncryptPlaintext(job, MemorySource(archive), true, key);
    }

    // Starts a decryption of `encrypted` and stops it by `signal` once its
    // temporary folder holds something; false when it ended before that.
    bool InterruptExtraction(const std::string& encrypted, int signal) {
        test::Child child(FastTav(), {"d", encrypted, file("back"), "key"});
        bool started = false;
        for (int i = 0; i < 2000 && !started; ++i) {
            std::error_code gone;
            for (const auto& entry : fs::directory_iterator(folder_.path())) {
                started |= entry.path().filename().string().rfind(".TAV-", 0) == 0 &&
                           !fs::is_empty(entry.path() / "folder", gone) && !gone;
            }
            if (!started) ::usleep(1000);
        }
        ::kill(child.pid(), signal);
        EXPECT_EQ(child.Wait(), 128 + signal);
        return started;
    }

    void EncryptLargeFolder() {
        fs::create_directory(file("src"));
        for (int i = 0; i < 8; ++i) WriteFile(file("src/" + std::to_string(i)), PseudoRandomBytes(16 << 20, i));
        ASSERT_EQ(Tool({"e1", file("src"), file("src_.TAV"), "key"}).status, kOk);
    }

    // A tree with what a folder can hold: nesting, an empty folder, files
    // on both sides of a chunk boundary, links of every kind, names that
    // are not UTF-8, modes and times down to the nanosecond.
    void MakeTree(const std::string& root) {
        fs::create_directories(root + "/deep/a/b/c/d/e/f/g/h/i/j");
        fs::create_directories(root + "/empty");
        WriteFile(root + "/deep/a/b/c/d/e/f/g/h/i/j/leaf", "leaf");
        WriteFile(root + "/zero", "");
        WriteFile(root + "/boundary-", PseudoRandomBytes(kChunk - 1, 1));
        WriteFile(root + "/boundary+", PseudoRandomBytes(kChunk + 1, 2));
        WriteFile(root + "/caf\xe9 \n -x", "Latin-1 and a newline");
        WriteFile(root + "/bad-\xff\xfe", "invalid UTF-8");
        WriteFile(root + "/setuid", "#!/bin/sh\n");
        ::chmod((root + "/setuid").c_str(), 04755);
        ::chmod((root + "/zero").c_str(), 0400);
        fs::create_symlink("deep/a", root + "/relative-link");
        fs::create_symlink("/etc/passwd", root + "/absolute-link");
        fs::create_symlink("nowhere", root + "/dangling-link");
        fs::create_directories(root + "/closed");
        WriteFile(root + "/closed/inside", "in a folder without write permission");
        SetTime(root + "/boundary+", 1234567890, 123456789);
        SetTime(root + "/dangling-link", 1000, 0);
        SetTime(root + "/deep/a", 2000000000, 5);
        ::chmod((root + "/closed").c_str(), 0500);
        SetTime(root + "/closed", 1500000000, 999999999);
    }

};

TEST_F(TavFolders, RoundTripRestoresTheTreeExactly) {
    MakeTree(file("photos"));
    Snapshot expected = Snap(file("photos"));
    expected["setuid"].replace(0, expected["setuid"].find(' ', 5), "file 493");  // the set-id bit is dropped
    for (const std::string encrypt : {"e1", "e0+"}) {
        fs::remove(file("photos_.TAV"));
        ASSERT_EQ(Tool({encrypt, file("photos"), file("photos_.TAV"), "key"}).status, kOk);
        for (const std::string decrypt : {"D", "d"}) {
            SCOPED_TRACE(encrypt + " " + decrypt);
            fs::remove_all(file("back"));
            const auto result = Tool({decrypt, file("photos_.TAV"), file("back"), "key"});
            ASSERT_EQ(result.status, kOk) << result.errors;
            EXPECT_EQ(Snap(file("back")), expected);
            EXPECT_EQ(fs::status(file("back")).permissions(), fs::status(file("photos")).permissions());
            ::chmod(file("back/closed").c_str(), 0700);
        }
    }
    ExpectNoTemporaries();
}

// Salvaging a folder keeps every file that verifies whole and names each
// one it leaves out; a record that does not verify ends what can be placed.
TEST_F(TavFolders, SalvageKeepsEveryFileThatVerifiesWhole) {
    Seal(Archive({Folder(""), FileRecord("a", 1000), FileRecord("b", 600000), Folder("sub"), FileRecord("c", 1000),
                  End(), End()}),
         file("album_.TAV"));
    const std::string good = ReadFile(file("album_.TAV"));
    const std::size_t payload = 96 + 280, sealed = kChunk + 16;
    const struct {
        const char* name;
        std::size_t damagedChunk;
        std::vector<std::string> kept;
        std::string lost;
    } cases[] = {
        {"a file's middle", 1, {"a", "sub", "sub/c"}, "TAV: lost b\nTAV: salvaged"},
        {"the last records", 2, {"a"}, "TAV: lost b\nTAV: lost everything after b (its records are damaged there)\n"},
        {"the root's record", 0, {}, "TAV: lost everything in it (its first records are damaged)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string damaged = good;
        damaged[payload + c.damagedChunk * sealed + 10] ^= 1;
        WriteFile(file("damaged.TAV"), damaged);
        fs::remove_all(file("out.salvaged"));
        const auto result = Tool({"salvage", file("damaged.TAV"), file("out"), "key"});
        EXPECT_EQ(result.status, kDamaged) << result.errors;
        EXPECT_NE(result.errors.find(c.lost), std::string::npos) << result.errors;
        std::vector<std::string> kept;
        for (const auto& entry : fs::recursive_directory_iterator(file("out.salvaged"))) {
            kept.push_back(fs::relative(entry.path(), file("out.salvaged")).string());
        }
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, c.kept);
        if (!kept.empty()) {
            EXPECT_EQ(ReadFile(file("out.salvaged/a")), std::string(1000, 'x'));
        }
    }
    ExpectNoTemporaries();
}

TEST_F(TavFolders, SelfDecryptingProgramRestoresTheFolderNextToItself) {
    MakeTree(file("my.album"));
    const Snapshot expected = Snap(file("my.album"));
    fs::create_directory(file("elsewhere"));
    ASSERT_EQ(Tool({"a1", file("my.album"), file("elsewhere/my_album"), "key"}).status, kOk);
    const auto result = test::Run(file("elsewhere/my_album"), {}, {"key\n"});
    ASSERT_EQ(result.status, kOk) << result.errors;
    EXPECT_EQ(Snap(file("elsewhere/my.album")).size(), expected.size());
    EXPECT_EQ(ReadFile(file("elsewhere/my.album/boundary+")), ReadFile(file("my.album/boundary+")));
    ::chmod(file("elsewhere/my.album/closed").c_str(), 0700);
}

TEST_F(TavFolders, ThousandsOfSmallFilesAndADeepTreeRoundTrip) {
    for (int d = 0; d < 30; ++d) fs::create_directories(file("many/" + std::to_string(d)));
    std::string deep = file("many/deep");
    for (int level = 0; level < 300; ++level) deep += "/d";
    fs::create_directories(deep);
    WriteFile(deep + "/bottom", "300 folders down");
    for (int i = 0; i < 3000; ++i) {
        WriteFile(file("many/" + std::to_string(i % 30) + "/" + std::to_string(i)), PseudoRandomBytes(i % 5000, i));
    }
    const Snapshot expected = Snap(file("many"));
    ASSERT_EQ(Tool({"e1", file("many"), file("many_.TAV"), "key"}).status, kOk);
    ASSERT_EQ(Tool({"d", file("many_.TAV"), file("back"), "key"}).status, kOk);
    EXPECT_EQ(Snap(file("back")), expected);
}

// A 1 GiB file among small ones: many chunks of one file, with records
// before and after it, so chunk and record boundaries fall everywhere.
TEST_F(TavFolders, AGibibyteFileInsideRoundTrips) {
    fs::create_directories(file("big/inner"));
    WriteFile(file("big/a-before"), PseudoRandomBytes(1000, 1));
    WriteFile(file("big/z-after"), PseudoRandomBytes(1000, 2));
    const std::string large = file("big/inner/large");
    {
        // Sparse, with marks at the ends and on chunk boundaries, so that
        // writing it costs nothing and misplaced bytes still show.
        const int fd = ::open(large.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
        for (const off_t at : {off_t{0}, off_t{kChunk} - 3, off_t{777} * off_t{kChunk} + 11, (off_t{1} << 30) - 8}) {
            ASSERT_EQ(::pwrite(fd, "MARK0123", 8, at), 8);
        }
        ::close(fd);
    }
    ASSERT_EQ(Tool({"e1", file("big"), file("big_.TAV"), "key"}).status, kOk);
    const auto result = Tool({"d", file("big_.TAV"), file("back"), "key"});
    ASSERT_EQ(result.status, kOk) << result.errors;
    EXPECT_EQ(test::Run("/usr/bin/cmp", {large, file("back/inner/large")}).status, 0);
    EXPECT_EQ(ReadFile(file("back/z-after")), ReadFile(file("big/z-after")));
    EXPECT_EQ(fs::last_write_time(file("back/inner/large")), fs::last_write_time(large));
}

TEST_F(TavFolders, ExistingTargetsAndSpecialFilesAreRefusedUntouched) {
    fs::create_directories(file("src/sub"));
    WriteFile(file("src/sub/f"), "f");
    ASSERT_EQ(Tool({"e1", file("src"), file("src_.TAV"), "key"}).status, kOk);
    fs::create_directory(file("empty-target"));
    fs::create_directories(file("full-target/kept"));
    for (const std::string target : {"empty-target", "full-target"}) {
        const auto result = Tool({"D", file("src_.TAV"), file(target), "key"});
        EXPECT_EQ(result.status, kTargetExists) << result.errors;
    }
    EXPECT_TRUE(fs::is_empty(file("empty-target")));
    EXPECT_TRUE(fs::exists(file("full-target/kept")));

    // A FIFO would block the walk's read forever; it is refused up front.
    ASSERT_EQ(::mkfifo(file("src/sub/fifo").c_str(), 0600), 0);
    const auto result = Tool({"e1", file("src"), file("fifo_.TAV"), "key"});
    EXPECT_EQ(result.status, kIo) << result.errors;
    EXPECT_NE(result.errors.find("not a file, folder or link"), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(file("fifo_.TAV")));
    ExpectNoTemporaries();
}

TEST_F(TavFolders, FailuresMidwayLeaveNoFolderBehind) {
    fs::create_directory(file("src"));
    for (int i = 0; i < 20; ++i) WriteFile(file("src/" + std::to_string(i)), PseudoRandomBytes(64 * 1024, i));
    ASSERT_EQ(Tool({"e1", file("src"), file("src_.TAV"), "key"}).status, kOk);

    test::RunOptions small;
    small.fileSizeLimit = 16 * 1024;  // the first file cannot be written whole
    auto result = Tool({"d", file("src_.TAV"), file("back"), "key"}, small);
    EXPECT_EQ(result.status, kIo) << result.errors;

    // Damage in the last chunk comes after every file before it was written.
    std::string encrypted = ReadFile(file("src_.TAV"));
    encrypted[encrypted.size() - 20] ^= 1;
    WriteFile(file("damaged_.TAV"), encrypted);
    result = Tool({"d", file("damaged_.TAV"), file("back"), "key"});
    EXPECT_EQ(result.status, kDamaged) << result.errors;
    EXPECT_FALSE(fs::exists(file("back")));
    ExpectNoTemporaries();
}

// A run killed outright leaves its hidden folder; the next successful
// folder decryption there removes it, but never anything that only looks
// like one: a user's own folder of the same pattern, old and unlocked, one
// with a copied marker beside other things, or one a running TAV holds.
TEST_F(TavFolders, OnlyFoldersTavProvablyMadeAreEverRemoved) {
    EncryptLargeFolder();
    if (!InterruptExtraction(file("src_.TAV"), SIGKILL)) GTEST_SKIP() << "the run ended before it could be killed";
    std::string abandoned;
    for (const std::string& name : test::NamesIn(folder_.path())) {
        if (name.rfind(".TAV-", 0) == 0) abandoned = file(name);
    }
    ASSERT_FALSE(abandoned.empty());
    std::string marker;
    for (const std::string& name : test::NamesIn(abandoned)) {
        if (name != "folder") marker = abandoned + "/" + name;
    }
    for (const std::string name : {".TAV-backup", ".TAV-copied"}) {
        fs::create_directories(file(name + "/2023/closed"));
        WriteFile(file(name + "/2023/wedding.jpg"), "the only copy");
        ::chmod(file(name + "/2023/closed").c_str(), 0);
        ::chmod(file(name).c_str(), 0700);
    }
    fs::create_directory(file(".TAV-locked"));
    ::chmod(file(".TAV-locked").c_str(), 0700);
    for (const std::string name : {".TAV-copied", ".TAV-locked"}) {
        fs::copy_file(marker, file(name + "/" + fs::path(marker).filename().string()));
    }
    for (const std::string& name : {abandoned, file(".TAV-backup"), file(".TAV-copied"), file(".TAV-locked")}) {
        SetTime(name, 1000, 0);
    }
    const int held = ::open(file(".TAV-locked").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(Tool({"D", file("src_.TAV"), file("back"), "wrong"}).status, 2);
    EXPECT_TRUE(fs::exists(abandoned)) << "nothing is removed before a decryption succeeded";
    ASSERT_EQ(Tool({"D", file("src_.TAV"), file("back"), "key"}).status, kOk);
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_EQ(ReadFile(file(".TAV-backup/2023/wedding.jpg")), "the only copy");
    EXPECT_EQ(ReadFile(file(".TAV-copied/2023/wedding.jpg")), "the only copy");
    EXPECT_TRUE(fs::exists(file(".TAV-locked")));
    ::close(held);
    for (const std::string name : {".TAV-backup", ".TAV-copied"}) ::chmod(file(name + "/2023/closed").c_str(), 0700);
}

TEST_F(TavFolders, SignalsDuringExtractionRemoveTheFolderBeingBuilt) {
    EncryptLargeFolder();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        if (!InterruptExtraction(file("src_.TAV"), signal)) GTEST_SKIP() << "the run ended before it could be interrupted";
        EXPECT_FALSE(fs::exists(file("back")));
        ExpectNoTemporaries();
    }
}

// The deepest tree an archive holds, under the usual limit of 1024 open
// files: neither the walk nor the extraction nor the removal after a
// failure holds a descriptor per level.
TEST_F(TavFolders, TheDeepestTreeRoundTripsUnderTheUsualDescriptorLimit) {
    const rlimit usual{1024, 1024};
    rlimit before;
    ::getrlimit(RLIMIT_NOFILE, &before);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &usual), 0);
    // Made level by level: the standard library's recursion gives up long before.
    fs::create_directory(file("deep"));
    std::string below;
    int level = ::open(file("deep").c_str(), O_RDONLY | O_DIRECTORY);
    for (unsigned depth = 1; depth < tav::kMaxFolderDepth; ++depth, below += "/d") {
        ASSERT_EQ(::mkdirat(level, "d", 0755), 0);
        const int next = ::openat(level, "d", O_RDONLY | O_DIRECTORY);
        ::close(level);
        level = next;
    }
    ::close(level);
    const std::string bottom = PseudoRandomBytes(3 * kChunk, 7);
    WriteFile(file("deep") + below + "/bottom", bottom);
    const auto encrypted = Tool({"e1", file("deep"), file("deep_.TAV"), "key"});
    ASSERT_EQ(encrypted.status, kOk) << encrypted.errors;
    for (const std::string decrypt : {"D", "d"}) {
        const auto result = Tool({decrypt, file("deep_.TAV"), file("back"), "key"});
        EXPECT_EQ(result.status, kOk) << result.errors;
        EXPECT_EQ(ReadFile(file("back") + below + "/bottom"), bottom);
        test::Run("/bin/rm", {"-rf", file("back")});
    }
    // Damage in the last chunk: every level is built by then, and removed again.
    std::string damaged = ReadFile(file("deep_.TAV"));
    damaged[damaged.size() - 20] ^= 1;
    WriteFile(file("damaged_.TAV"), damaged);
    EXPECT_EQ(Tool({"d", file("damaged_.TAV"), file("back"), "key"}).status, kDamaged);
    EXPECT_FALSE(fs::exists(file("back")));
    ExpectNoTemporaries();
    test::Run("/bin/rm", {"-rf", file("deep")});
    ::setrlimit(RLIMIT_NOFILE, &before);
}

// Restored permissions pass through the user's umask, as with any archiver
// run by an ordinary user; a umask of 0 restores them exactly.
TEST_F(TavFolders, RestoredPermissionsHonourTheUmask) {
    Seal(Archive({Folder("", 0777), Folder("open", 0777), End(), FileRecord("shared", 1, 0666),
                  FileRecord("private", 1, 0600), End()}),
         file("modes_.TAV"));
    const struct {
        mode_t umask;
        unsigned root, folder, shared, privateFile;
    } cases[] = {{022, 0755, 0755, 0644, 0600}, {077, 0700, 0700, 0600, 0600}, {0, 0777, 0777, 0666, 0600}};
    const mode_t before = ::umask(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.umask);
        ::umask(c.umask);
        fs::remove_all(file("back"));
        ASSERT_EQ(Tool({"D", file("modes_.TAV"), file("back"), "key"}).status, kOk);
        const auto mode = [&](const std::string& name) {
            struct stat st;
            return ::lstat(file(name).c_str(), &st) == 0 ? st.st_mode & 07777 : 01000000u;
        };
        EXPECT_EQ(mode("back"), c.root);
        EXPECT_EQ(mode("back/open"), c.folder);
        EXPECT_EQ(mode("back/shared"), c.shared);
        EXPECT_EQ(mode("back/private"), c.privateFile);
    }
    ::umask(before);
}

// Someone who may write to the folder swaps a subfolder for a link to the
// victim's private folder and back, over and over, while it is encrypted:
// every archive holds what was listed, or the run fails; never the secret.
TEST_F(TavFolders, ASubfolderSwappedForALinkNeverLeadsOutside) {
    fs::create_directories(file("shared/album/sub"));
    fs::create_directories(file("private"));
    // One file of the same name on both sides makes a walk that follows the
    // link succeed often (about one run in nine before reads went through
    // descriptors), so sixty runs catch it.
    WriteFile(file("shared/album/sub/photo"), "holiday");
    WriteFile(file("private/photo"), "SECRET");
    fs::create_symlink(file("private"), file("shared/swap"));
    std::atomic<bool> stop{false};
    std::thread attacker([&] {
        while (!stop) {
            ::renameat2(AT_FDCWD, file("shared/album/sub").c_str(), AT_FDCWD, file("shared/swap").c_str(),
                        RENAME_EXCHANGE);
        }
    });
    int stored = 0;
    for (int run = 0; run < 60; ++run) {
        fs::remove(file("album_.TAV"));
        fs::remove_all(file("back"));
        const auto encrypted = Tool({"e1", file("shared/album"), file("album_.TAV"), "key"});
        if (encrypted.status != kOk) {
            EXPECT_EQ(encrypted.status, kIo) << encrypted.errors;
            continue;
        }
        ASSERT_EQ(Tool({"d", file("album_.TAV"), file("back"), "key"}).status, kOk);
        ++stored;
        for (const auto& entry : fs::recursive_directory_iterator(file("back"))) {
            if (entry.is_regular_file()) {
                EXPECT_EQ(ReadFile(entry.path().string()), "holiday") << entry.path();
            }
        }
    }
    stop = true;
    attacker.join();
    RecordProperty("archives", stored);
}

// Each archive is sealed under the right key, so it authenticates: the
// extraction must still refuse it, leave no target and no temporary folder,
// and write nothing outside.
TEST_F(TavFolders, HostileArchivesAreRefusedWithNothingWritten) {
    fs::create_directory(file("outside"));
    const std::string outside = file("outside");
    std::vector<tav::Record> tooDeep{Folder("")};
    for (unsigned i = 0; i < tav::kMaxFolderDepth; ++i) tooDeep.push_back(Folder("d"));
    // Complete, so that its depth is the only thing wrong with it.
    for (unsigned i = 0; i <= tav::kMaxFolderDepth; ++i) tooDeep.push_back(End());
    const std::string deepest = Archive(tooDeep);
    std::string withSetuid = Archive({Folder(""), FileRecord("f", 1), End()});
    withSetuid[tav::kRecordHeadSize + 5 + 1] = 0x09;  // the file's mode becomes 04644

    const std::map<std::string, std::string> archives = {
        {"a name with a slash", Archive({Folder(""), FileRecord("../outside/evil", 1), End()})},
        {"an absolute name", Archive({Folder(""), FileRecord("/tmp/evil", 1), End()})},
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
        {"nested too deeply", deepest},
        {"a set-id bit", withSetuid},
        {"empty", ""},
        {"a closed root with data after its end", Archive({Folder("", 0), FileRecord("f", 1), End()}) + "x"},
        {"a closed folder holding a file, then a name twice",
         Archive({Folder(""), Folder("closed", 0), FileRecord("f", 1), End(), FileRecord("g", 1), FileRecord("g", 1),
                  End()})},
    };
    for (const auto& [what, archive] : archives) {
        SCOPED_TRACE(what);
        Seal(archive, file("hostile_.TAV"));
        for (const std::string decrypt : {"D", "d"}) {
            const auto result = Tool({decrypt, file("hostile_.TAV"), file("back"), "key"});
            EXPECT_EQ(result.status, kDamaged) << decrypt << ": " << result.errors;
            EXPECT_FALSE(fs::exists(fs::symlink_status(file("back"))));
            ExpectNoTemporaries();
            EXPECT_TRUE(fs::is_empty(outside));
        }
    }
    // Every way of reading it names the entry.
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
    class CountedFolder : public tav::OutputFolder {
    public:
        using OutputFolder::OutputFolder;
        void Write(const void* data, std::size_t size) override {
            written += size;
            OutputFolder::Write(data, size);
        }
        std::size_t written = 0;
    };
    std::vector<tav::Record> records(tav::kMaxFolderDepth - 1, Folder("d"));
    records.front() = Folder("");
    records.push_back(FileRecord("..", 1));
    Seal(Archive(records), file("deep_.TAV"));
    tav::SecureBuffer key(3);
    std::memcpy(key.data(), "key", 3);
    for (const bool verifyFirst : {true, false}) {
        tav::EncryptedFile encrypted(file("deep_.TAV"));
        encrypted.Open(key);
        CountedFolder out(file("back"));
        EXPECT_THROW(tav::DecryptInto(encrypted, out, verifyFirst), tav::Failure);
        EXPECT_EQ(out.written == 0, verifyFirst);
    }
}

// The reader must not depend on how the decrypted stream is cut.
TEST(FolderArchive, ReadsTheSameWhateverThePiecesItIsFedIn) {
    class Log : public tav::FolderBuilder {
    public:
        void BeginFolder(const std::string& name, const tav::EntryAttributes&) override { text += "D" + name + ";"; }
        void EndFolder() override { text += "E;"; }
        void BeginFile(const std::string& name, const tav::EntryAttributes&) override { text += "F" + name + ":"; }
        void FileData(const unsigned char* data, std::size_t size) override {
            text.append(reinterpret_cast<const char*>(data), size);
        }
        void EndFile() override { text += ";"; }
        void Link(const std::string& name, const std::string& target, const tav::EntryAttributes&) override {
            text += "L" + name + ">" + target + ";";
        }
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
