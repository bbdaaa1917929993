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

}  // namespace
