// Our settings reader against the system's own GetPrivateProfileIntA, on
// every kind of file our writer makes and the hand-edited forms the reader
// accepts. Where the two differ on purpose, the case says so by name and
// gives both answers; the README explains each.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/system/profile.h"
#include "tests/support/workspace.h"

namespace {

using platform::Profile;

constexpr int kFallback = -12345;

struct Lookup {
    const char* section;
    const char* key;
};

// What each reader gives for every lookup in `text`.
void ExpectSameAnswers(const test::TempFolder& folder, const std::string& text, const std::vector<Lookup>& lookups) {
    const std::string path = folder.file("Druvel.ini");
    test::WriteFile(path, text);
    Profile ours;
    ASSERT_EQ(ours.Load(path), Profile::LoadResult::Loaded);
    for (const Lookup& lookup : lookups) {
        SCOPED_TRACE(std::string(lookup.section) + "/" + lookup.key + " in:\n" + text);
        EXPECT_EQ(ours.GetInt(lookup.section, lookup.key, kFallback),
                  static_cast<int>(GetPrivateProfileIntA(lookup.section, lookup.key, kFallback, path.c_str())));
    }
}

const std::vector<Lookup> kOptions = {{"ENCRYPT", "Rounds"},  {"ENCRYPT", "Paranoia"},     {"ENCRYPT", "SFX"},
                                      {"DECRYPT", "IntCheck"}, {"DECRYPT", "DelEncrypted"}, {"ENCRYPT", "Missing"},
                                      {"MISSING", "Rounds"}};

class ProfileAgainstTheSystem : public ::testing::Test {
protected:
    test::TempFolder folder_;
};

TEST_F(ProfileAgainstTheSystem, AgreesOnEveryFileOurWriterMakes) {
    Profile written;
    written.SetString("ENCRYPT", "Rounds", "3");
    written.SetString("ENCRYPT", "Paranoia", "1");
    written.SetString("ENCRYPT", "SFX", "0");
    written.SetString("DECRYPT", "IntCheck", "1");
    written.SetString("DECRYPT", "DelEncrypted", "0");
    ExpectSameAnswers(folder_, written.Text(), kOptions);

    // Edits in place, into a file of LF lines, after a comment, with a mark.
    for (const char* start : {"[ENCRYPT]\nRounds=9\n; note\n", "\xEF\xBB\xBF[decrypt]\r\nintcheck = 0\r\n",
                              "[Other]\r\nx=1\r\n[ENCRYPT]\r\nSFX=1", ""}) {
        Profile edited;
        edited.SetText(start);
        edited.SetString("ENCRYPT", "Rounds", "7");
        edited.SetString("DECRYPT", "IntCheck", "-1");
        edited.SetString("DECRYPT", "DelEncrypted", "2147483647");
        ExpectSameAnswers(folder_, edited.Text(), kOptions);
    }
}

TEST_F(ProfileAgainstTheSystem, AgreesOnWhatPeopleWriteByHand) {
    ExpectSameAnswers(folder_,
                      "; settings\r\n"
                      "  [ ENCRYPT ]  \r\n"
                      "\r\n"
                      "  rounds  =  3  \r\n"
                      "\t;Paranoia=8\r\n"
                      "Paranoia=+1\r\n"
                      "SFX=42abc\r\n"
                      "[decrypt]\n"
                      "IntCheck=-7\n"
                      "DelEncrypted=word",
                      kOptions);
    ExpectSameAnswers(folder_, "[ENCRYPT]\r\nRounds=1\r\nRounds=2\r\n", {{"ENCRYPT", "Rounds"}});
    ExpectSameAnswers(folder_, "[S]\r\nempty=\r\nbare\r\nblank=   \r\n# hash=3\r\nminus=-\r\n", {{"S", "empty"}, {"S", "bare"}, {"S", "blank"}, {"S", "# hash"}, {"S", "minus"}});
    ExpectSameAnswers(folder_, "[S\r\nk=1\r\n[T]]\r\nk=2\r\n", {{"S", "k"}, {"T", "k"}, {"T]", "k"}});
    ExpectSameAnswers(folder_, "[S]\r\nk=-2147483648\r\nt=2147483647\r\nu=  12  34\r\n", {{"S", "k"}, {"S", "t"}, {"S", "u"}});
    ExpectSameAnswers(folder_, "[ENCRYPT]\r\nRounds=1\r\n[encrypt]\r\nSFX=1\r\n", {{"ENCRYPT", "Rounds"}});
}

// The differences, each on purpose.
TEST_F(ProfileAgainstTheSystem, DiffersWhereOurReaderIsStricter) {
    const auto both = [this](const std::string& text, const char* section, const char* key) {
        const std::string path = folder_.file("Druvel.ini");
        test::WriteFile(path, text);
        Profile ours;
        ours.Load(path);
        return std::make_pair(ours.GetInt(section, key, kFallback),
                              static_cast<int>(GetPrivateProfileIntA(section, key, kFallback, path.c_str())));
    };
    // Numbers are decimal only: a prefix such as 0x does not change the base.
    EXPECT_EQ(both("[S]\r\nk=0x10\r\n", "S", "k"), std::make_pair(0, 16));
    // Out-of-range values are clamped rather than wrapped around.
    EXPECT_EQ(both("[S]\r\nk=4294967297\r\n", "S", "k").first, 2147483647);
    EXPECT_NE(both("[S]\r\nk=4294967297\r\n", "S", "k").second, 2147483647);
    // A key line before the first section header belongs to no section.
    EXPECT_EQ(both("k=5\r\n[S]\r\n", "", "k").first, kFallback);
}

}  // namespace
