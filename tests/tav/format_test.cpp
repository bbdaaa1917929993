#include "tav/format.h"

#include <gtest/gtest.h>

namespace {

TEST(Padme, AddsAtMostAnEighthAndIsStable) {
    EXPECT_EQ(tav::PaddedLength(1000, false), 1000u);
    for (std::uint64_t length : {0ull, 1ull, 37ull, 65537ull, 123456789ull, 1ull << 40}) {
        const std::uint64_t padded = tav::PaddedLength(length, true);
        EXPECT_GE(padded, length);
        EXPECT_LE(padded - length, length / 8) << length;
        EXPECT_EQ(tav::PaddedLength(padded, true), padded) << length;
    }
}

// A self-decrypting file restores its stored name next to itself: only bare names may pass.
TEST(IsSafeFileName, OnlyBareNames) {
    EXPECT_TRUE(tav::IsSafeFileName("report.txt"));
    EXPECT_TRUE(tav::IsSafeFileName("..hidden"));
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "../x", "/etc/passwd", "a/b", "a\\b",
                                                           std::string("a\0b", 3)}) {
        EXPECT_FALSE(tav::IsSafeFileName(bad)) << bad;
    }
}

}  // namespace
