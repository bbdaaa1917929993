#include "tav/os/arguments.h"

#include <gtest/gtest.h>

namespace {

using Fields = std::vector<std::string>;

// Druvel's shape, every field quoted, keeps every field as it is; the key
// is everything between its opening quote and the line's last one. Lines
// of any other shape are left to the run time's rules.
TEST(SplitQuotedCommandLine, DruvelsShapeKeepsEveryField) {
    const Fields other = {"<other shape>"};
    const struct { const char* line; Fields fields; } rows[] = {
        {R"(TAV e1 "C:\a b\x.txt" "C:\a b\x_txt.TAV" "key")", {"e1", R"(C:\a b\x.txt)", R"(C:\a b\x_txt.TAV)", "key"}},
        {R"(TAV d "C:\a\.TAV" "C:\a\" "k")", {"d", R"(C:\a\.TAV)", R"(C:\a\)", "k"}},
        {R"("C:\Program Files\TAV.exe"	D  "s"  "t"  "k"  )", {"D", "s", "t", "k"}},
        {R"(TAV D "s" "t")", {"D", "s", "t"}},
        {R"(TAV e0 "s" "t" "ke"y \" "x" ")", {"e0", "s", "t", R"(ke"y \" "x" )"}},
        {R"(TAV e0 "s" "t" "")", {"e0", "s", "t", ""}},
        {R"(TAV e0 "s" "t" "tail\")", {"e0", "s", "t", "tail\\"}},
        {"TAV", other}, {"TAV e0 s t k", other}, {R"(TAV e0 "s" t "k")", other}, {R"(TAV e0 "s" "t" k)", other},
        {R"(TAV e0 "s" "t" "k)", other}, {R"(TAV e0 "s""t" "k")", other}, {R"(TAV "e0" "s" "t" "k")", other},
        {R"(TAV e0 "s" "t" ")", other}, {R"(TAV e0 "s)", other}, {R"(TAV e0 "s" "t"x "k")", other}, {"", other},
    };
    for (const auto& row : rows) {
        Fields fields;
        std::size_t keyOffset = 0;
        const bool quoted = tav::SplitQuotedCommandLine(row.line, fields, keyOffset);
        EXPECT_EQ(quoted ? fields : other, row.fields) << row.line;
        EXPECT_TRUE(!quoted || fields.size() != 4 || std::string(row.line).compare(keyOffset, fields[3].size(), fields[3]) == 0)
            << row.line;
    }
}

// Lines of any other shape are split as the run time splits them.
TEST(SplitLikeRunTime, FollowsTheRunTimesRules) {
    // The last argument's start, where the key's letters begin when it is the key.
    const struct { const char* line; Fields arguments; std::size_t lastStart = 0; } rows[] = {
        {"TAV e1 a b key", {"TAV", "e1", "a", "b", "key"}, 11},
        {R"(TAV e1 "a b" c "my key")", {"TAV", "e1", "a b", "c", "my key"}, 15},
        {R"("C:\Program Files\TAV.exe"  d	"a b" c)", {R"(C:\Program Files\TAV.exe)", "d", "a b", "c"}},
        {R"(TAV a\\b a\\\"b "a\\" b)", {"TAV", R"(a\\b)", R"(a\"b)", "a\\", "b"}},
        {R"(TAV "a ""b"" c" a"b c"d "" x)", {"TAV", R"(a "b" c)", "ab cd", "", "x"}},
        {"TAV d \xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C \"\xF0\x9F\x94\x91 key\"",
         {"TAV", "d", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C", "\xF0\x9F\x94\x91 key"}},
    };
    for (const auto& row : rows) {
        std::vector<std::size_t> starts;
        EXPECT_EQ(tav::SplitLikeRunTime(row.line, starts), row.arguments) << row.line;
        EXPECT_TRUE(row.lastStart == 0 || starts.back() == row.lastStart) << row.line;
    }
}

}  // namespace
