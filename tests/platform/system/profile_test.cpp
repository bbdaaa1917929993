#include "platform/system/profile.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>

#include "tests/support/system.h"
#include "tests/support/workspace.h"

namespace {

using platform::Profile;

Profile Parsed(const std::string& text) {
    Profile profile;
    profile.SetText(text);
    return profile;
}

constexpr int kFallback = -12345;
constexpr int kAsOurs = 0x7eadbeef;  // the system's reader gives what ours gives

// What the system's own reader gives for `text`, where it has one (Windows).
std::optional<int> SystemReads(const std::string& text, const char* section, const char* key) {
    const test::TempFolder folder;
    test::WriteFile(folder.file("Druvel.ini"), text);
    return test::SystemProfileInt(folder.file("Druvel.ini"), section, key, kFallback);
}

// One lookup in a settings file: what our reader gives, and what the
// system's own reader gives where it has one (Windows) and differs on purpose.
struct ReadCase {
    const char *what, *text, *section, *key;
    int ours;
    int system = kAsOurs;
};
const char* const kHandWritten =
    "orphan=1\n; a comment=9\n  [ encrypt ]  \n\n  ROUNDS  =  3  \n\t;rounds=8\nrounds=4\n"
    "[ENCRYPT]\nParanoia=1\n[decrypt]\nIntCheck=0";
const char* const kOddLines = "[S]\r\nempty=\r\nbare\r\nblank=   \r\n# hash=3\r\nminus=-\r\nu=  12  34\r\n";
const char* const kOddHeaders = "[S\r\nk=1\r\n[T]]\r\nk=2\r\n[a]b]\nk=3\n";

const ReadCase kReads[] = {
    {"plus", "[S]\r\nk=+3\r\n", "S", "k", 3},
    {"a word", "[S]\r\nk=abc\r\n", "S", "k", 0},
    {"the largest", "[S]\r\nk=2147483647\r\n", "S", "k", 2147483647},
    {"the smallest", "[S]\r\nk=-2147483648\r\n", "S", "k", -2147483647 - 1},
    {"hexadecimal is not read as such", "[S]\r\nk=0x10\r\n", "S", "k", 0, 16},
    {"too large is clamped, not wrapped", "[S]\r\nk=4294967297\r\n", "S", "k", 2147483647, 1},
    {"too small is clamped", "[S]\r\nk=-99999999999\r\n", "S", "k", -2147483647 - 1, -1215752191},
    {"a missing key", "[S]\r\nk=12\r\n", "S", "other", kFallback},
    {"a missing section", "[S]\r\nk=12\r\n", "T", "k", kFallback},
    {"blanks and case", kHandWritten, "ENCRYPT", "Rounds", 3},
    {"only the first of two sections", kHandWritten, "ENCRYPT", "Paranoia", kFallback},
    {"a last line without its end", kHandWritten, "DECRYPT", "IntCheck", 0},
    {"keys before the first header belong nowhere", kHandWritten, "", "orphan", kFallback, 1},
    {"the first of two keys", "[ENCRYPT]\r\nRounds=1\r\nRounds=2\r\n", "ENCRYPT", "Rounds", 1},
    {"a byte-order mark", "\xEF\xBB\xBF[ENCRYPT]\r\nRounds=4\r\n", "ENCRYPT", "Rounds", 4},
    {"an empty value", kOddLines, "S", "empty", kFallback},
    {"no equals sign", kOddLines, "S", "bare", kFallback},
    {"only blanks", kOddLines, "S", "blank", kFallback},
    {"a hash is no comment", kOddLines, "S", "# hash", 3},
    {"a lone minus", kOddLines, "S", "minus", 0},
    {"digits after a blank", kOddLines, "S", "u", 12},
    {"an unclosed header", kOddHeaders, "S", "k", kFallback},
    {"a header ends at its last bracket", kOddHeaders, "T]", "k", 2},
    {"a bracket inside a header", kOddHeaders, "a]b", "k", 3},
};

// Both readers where the system has one; the answers differ only where a
// case says so (the README explains each difference).
TEST(ProfileRead, EveryCaseAsTheProfileFunctionsReadIt) {
    for (const ReadCase& c : kReads) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Parsed(c.text).GetInt(c.section, c.key, kFallback), c.ours);
        if (const auto system = SystemReads(c.text, c.section, c.key)) {
            EXPECT_EQ(*system, c.system == kAsOurs ? c.ours : c.system);
        }
    }
}

// A file as it was, the values set in it, the text that makes; each value
// reads back through both readers. Only what must change changes; a new
// line ends as the file's lines end (CR LF in a new file), and the last line gets its end.
TEST(ProfileWrite, ChangesOnlyWhatItMustInTheFilesOwnWay) {
    const struct { const char* before; std::vector<std::array<const char*, 3>> sets; const char* after; } cases[] = {
        {"", {{"ENCRYPT", "Rounds", "1"}, {"ENCRYPT", "SFX", "0"}, {"DECRYPT", "IntCheck", "1"}},
         "[ENCRYPT]\r\nRounds=1\r\nSFX=0\r\n[DECRYPT]\r\nIntCheck=1\r\n"},
        {"\xEF\xBB\xBF[ENCRYPT]\r\nRounds=4\r\n", {{"ENCRYPT", "Rounds", "5"}}, "\xEF\xBB\xBF[ENCRYPT]\r\nRounds=5\r\n"},
        {"[A]\nx=1", {{"A", "y", "2"}, {"B", "z", "3"}}, "[A]\nx=1\ny=2\n[B]\nz=3\n"},
        {"[A]", {{"A", "k", "7"}}, "[A]\r\nk=7\r\n"},
        {"; settings\r\n[encrypt]\r\n  rounds = 3\r\nParanoia=0\r\n\r\n; trailing comment of the section\r\n"
         "[Other]\r\nkeep=me   \r\nno equals sign here\r\n",
         {{"ENCRYPT", "Rounds", "12"}, {"ENCRYPT", "SFX", "1"}, {"DECRYPT", "IntCheck", "0"}},
         "; settings\r\n[encrypt]\r\n  rounds = 12\r\nParanoia=0\r\nSFX=1\r\n\r\n; trailing comment of the section\r\n"
         "[Other]\r\nkeep=me   \r\nno equals sign here\r\n[DECRYPT]\r\nIntCheck=0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        Profile p = Parsed(c.before);
        for (const auto& [section, key, value] : c.sets) p.SetString(section, key, value);
        EXPECT_EQ(p.Text(), c.after);
        for (const auto& [section, key, value] : c.sets) {
            EXPECT_EQ(Parsed(p.Text()).GetInt(section, key, kFallback), std::stoi(value)) << section << "/" << key;
            EXPECT_EQ(SystemReads(p.Text(), section, key).value_or(std::stoi(value)), std::stoi(value)) << section << "/" << key;
        }
    }
}

TEST(ProfileFile, LoadTellsMissingFromUnreadable) {
    const test::TempFolder folder;
    Profile p;
    EXPECT_EQ(p.Load(folder.file("absent.ini")), Profile::LoadResult::Missing);
    std::filesystem::create_directory(folder.file("dir.ini"));
    EXPECT_EQ(p.Load(folder.file("dir.ini")), Profile::LoadResult::Unreadable);
    test::WriteFile(folder.file("x.ini"), "[S]\nk=4\n");
    ASSERT_EQ(p.Load(folder.file("x.ini")), Profile::LoadResult::Loaded);
    EXPECT_EQ(p.GetInt("S", "k", 0), 4);
}

// A save killed between naming its temporary file and the rename can leave
// one behind; the next save removes it once no save can still be using it.
TEST(ProfileFile, SaveRemovesStaleTemporaryFilesOfItsOwn) {
    const test::TempFolder folder;
    const auto now = std::filesystem::file_time_type::clock::now(), old = now - std::chrono::minutes(5);
    for (const auto& [name, written] : {std::pair{".druvel-a1B2c3", old}, {".druvel-fresh1", now},
                                        {".druvel-notours-at-all", old}, {"notes.txt", old}}) {
        test::WriteFile(folder.file(name), "partial");
        std::filesystem::last_write_time(folder.file(name), written);
    }
    Profile p;
    p.SetString("S", "k", "1");
    ASSERT_TRUE(p.Save(folder.file("Druvel.ini")));
    EXPECT_EQ(test::NamesIn(folder.path()), (std::vector<std::string>{".druvel-fresh1", ".druvel-notours-at-all", "Druvel.ini", "notes.txt"}));
}

}  // namespace
