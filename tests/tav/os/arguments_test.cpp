#include "tav/os/arguments.h"

#include <gtest/gtest.h>

namespace {

using Fields = std::vector<std::string>;

Fields Split(const std::string& line, std::size_t* keyOffset = nullptr) {
    Fields fields;
    std::size_t offset = 0;
    if (!tav::SplitQuotedCommandLine(line, fields, offset)) return {"<other shape>"};
    if (keyOffset != nullptr) *keyOffset = offset;
    return fields;
}

TEST(SplitQuotedCommandLine, DruvelsShapeKeepsEveryField) {
    EXPECT_EQ(Split(R"(TAV e1 "C:\a b\x.txt" "C:\a b\x_txt.TAV" "key")"),
              (Fields{"e1", R"(C:\a b\x.txt)", R"(C:\a b\x_txt.TAV)", "key"}));
    EXPECT_EQ(Split(R"(TAV d "C:\a\.TAV" "C:\a\" "k")"), (Fields{"d", R"(C:\a\.TAV)", R"(C:\a\)", "k"}));
    EXPECT_EQ(Split(R"("C:\Program Files\TAV.exe"	D  "s"  "t"  "k"  )"), (Fields{"D", "s", "t", "k"}));
    EXPECT_EQ(Split(R"(TAV D "s" "t")"), (Fields{"D", "s", "t"}));
}

// The key is everything between its opening quote and the line's last one.
TEST(SplitQuotedCommandLine, TheKeyIsTakenWhole) {
    std::size_t offset = 0;
    const std::string line = R"(TAV e0 "s" "t" "ke"y \" "x" ")";
    EXPECT_EQ(Split(line, &offset), (Fields{"e0", "s", "t", R"(ke"y \" "x" )"}));
    EXPECT_EQ(line.substr(offset, 3), "ke\"");
    EXPECT_EQ(Split(R"(TAV e0 "s" "t" "")"), (Fields{"e0", "s", "t", ""}));
    EXPECT_EQ(Split(R"(TAV e0 "s" "t" "tail\")"), (Fields{"e0", "s", "t", "tail\\"}));
}

TEST(SplitQuotedCommandLine, OtherShapesAreLeftToTheRunTime) {
    for (const char* line : {"TAV", "TAV e0 s t k", R"(TAV e0 "s" t "k")", R"(TAV e0 "s" "t" k)", R"(TAV e0 "s" "t" "k)",
                             R"(TAV e0 "s""t" "k")", R"(TAV "e0" "s" "t" "k")", R"(TAV e0 "s" "t" ")", R"(TAV e0 "s)",
                             R"(TAV e0 "s" "t"x "k")", ""}) {
        EXPECT_EQ(Split(line), Fields{"<other shape>"}) << line;
    }
}

// Lines of any other shape are split as the run time splits them.
TEST(SplitLikeRunTime, FollowsTheRunTimesRules) {
    const struct {
        const char* line;
        Fields arguments;
    } rows[] = {
        {"TAV e1 a b key", {"TAV", "e1", "a", "b", "key"}},
        {R"("C:\Program Files\TAV.exe"  d	"a b" c)", {R"(C:\Program Files\TAV.exe)", "d", "a b", "c"}},
        {R"(TAV a\\b a\\\"b "a\\" b)", {"TAV", R"(a\\b)", R"(a\"b)", "a\\", "b"}},
        {R"(TAV "a ""b"" c" a"b c"d "" x)", {"TAV", R"(a "b" c)", "ab cd", "", "x"}},
        {"TAV d \xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C \"\xF0\x9F\x94\x91 key\"",
         {"TAV", "d", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C", "\xF0\x9F\x94\x91 key"}},
    };
    for (const auto& row : rows) {
        std::vector<std::size_t> starts;
        EXPECT_EQ(tav::SplitLikeRunTime(row.line, starts), row.arguments) << row.line;
    }
    std::vector<std::size_t> starts;
    const std::string line = R"(TAV e1 "a b" c "my key")";
    tav::SplitLikeRunTime(line, starts);
    EXPECT_EQ(line.substr(starts.at(4)), "\"my key\"");
}

}  // namespace

