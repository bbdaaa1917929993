#include "tav/format.h"

#include <gtest/gtest.h>

#include "tav/failure.h"
#include "tav/operation.h"

namespace {

using tav::Operation;

TEST(Padme, RoundsUpByAtMostTwelvePercent) {
    EXPECT_EQ(tav::PaddedLength(0, true), 0u);
    EXPECT_EQ(tav::PaddedLength(1, true), 1u);
    EXPECT_EQ(tav::PaddedLength(37, true), 40u);
    EXPECT_EQ(tav::PaddedLength(1000, true), 1024u);
    EXPECT_EQ(tav::PaddedLength(1000, false), 1000u);
    for (std::uint64_t length : {7ull, 100ull, 65537ull, 123456789ull, 1ull << 40}) {
        const std::uint64_t padded = tav::PaddedLength(length, true);
        EXPECT_GE(padded, length);
        EXPECT_LE(padded - length, length / 8) << length;
        EXPECT_EQ(tav::PaddedLength(padded, true), padded) << "padding is idempotent";
    }
}

TEST(ParseOperation, Words) {
    const Operation e12 = tav::ParseOperation("e12");
    EXPECT_EQ(e12.kind, Operation::Kind::Encrypt);
    EXPECT_EQ(e12.rounds, 12u);
    EXPECT_FALSE(e12.paranoia);
    const Operation a0 = tav::ParseOperation("a0+");
    EXPECT_EQ(a0.kind, Operation::Kind::SelfDecrypting);
    EXPECT_EQ(a0.rounds, 0u);
    EXPECT_TRUE(a0.paranoia);
    EXPECT_EQ(tav::ParseOperation("D").kind, Operation::Kind::VerifyThenDecrypt);
    EXPECT_EQ(tav::ParseOperation("d").kind, Operation::Kind::Decrypt);
    EXPECT_EQ(tav::ParseOperation("e0064").rounds, 64u);
    EXPECT_THROW(tav::ParseOperation("e-0"), tav::Failure);
    EXPECT_THROW(tav::ParseOperation("e+1"), tav::Failure);
}

TEST(KdfParams, RoundsRaiseTheWork) {
    EXPECT_EQ(tav::KdfParamsFor(0, false).opsLimit, 3u);
    EXPECT_EQ(tav::KdfParamsFor(1, false).opsLimit, 3u);
    EXPECT_EQ(tav::KdfParamsFor(8, false).opsLimit, 10u);
    EXPECT_EQ(tav::KdfParamsFor(2, false).memLimit, 256u << 20);
    EXPECT_EQ(tav::KdfParamsFor(2, true).memLimit, 1u << 30);
}

TEST(IsSafeFileName, OnlyBareNames) {
    EXPECT_TRUE(tav::IsSafeFileName("report.txt"));
    EXPECT_TRUE(tav::IsSafeFileName("..hidden"));
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "../x", "/etc/passwd", "a/b", "a\\b", std::string("a\0b", 3)}) {
        EXPECT_FALSE(tav::IsSafeFileName(bad)) << bad;
    }
}

TEST(Trailer, RoundTripAndRejection) {
    std::uint64_t offset = 0;
    ASSERT_TRUE(tav::ParseTrailer(tav::SerializeTrailer(123456), offset));
    EXPECT_EQ(offset, 123456u);
    tav::TrailerBytes other{};
    EXPECT_FALSE(tav::ParseTrailer(other, offset));
}

}  // namespace
