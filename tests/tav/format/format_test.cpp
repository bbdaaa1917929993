#include "tav/format/format.h"
#include "tav/format/names.h"
#include "tav/base/printable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// The payload chunks' nonces as docs/tav-format.md spells them: the chunk's
// index as an 11-byte big-endian number, then 1 for the last chunk.
TEST(ChunkNonce, AnElevenByteIndexAndTheLastChunkFlag) {
    const struct { std::uint64_t index; bool last; const char* hex; } rows[] = {
        {0, false, "000000000000000000000000"},         {299, true, "000000000000000000012b01"},
        {1ull << 16, false, "000000000000000001000000"}, {1ull << 32, true, "000000000000010000000001"},
        {~0ull, false, "000000ffffffffffffffff00"},
    };
    for (const auto& row : rows) {
        const tav::AeadNonce nonce = tav::ChunkNonce(row.index, row.last);
        char hex[2 * sizeof nonce + 1];
        EXPECT_EQ(std::string(sodium_bin2hex(hex, sizeof hex, nonce.data(), nonce.size())), row.hex) << row.index;
    }
}

// A stored name is made as one entry inside the folder it is restored
// into: safe on every system, and held by Windows as exactly that entry.
TEST(StoredNames, EachSystemsRule) {
    const struct { std::string name; bool safe, windows; } rows[] = {
        {"report.txt", true, true},         {"..hidden", true, true},
        {"日本語 ü😀.txt", true, true},     {"COM10", true, true},
        {"CONSOLE.txt", true, true},        {std::string(255, 'n'), true, true},
        {"", false, false},                 {".", false, false},
        {"..", false, false},               {"a/b", false, false},
        {std::string("a\0b", 3), false, false}, {std::string(256, 'n'), false, false},
        {"a\\b", true, false},             {"note.txt:hidden", true, false},
        {"TAV.exe:Zone.Identifier", true, false}, {"C:PWNED.txt", true, false},
        {"name.", true, false},             {"name ", true, false},
        {"CON", true, false},               {"con .txt", true, false},
        {"AUX.tar.gz", true, false},        {"CONOUT$", true, false},
        {"com0", true, false},              {"LPT9.log", true, false},
        {"COM\u00B9", true, false},         {"lpt\u00B3.txt", true, false},
        {"a\x01b", true, false},            {"a?b", true, false},
        {"not\xffutf8", true, false},       {"\xed\xa0\x80surrogate", true, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(tav::IsSafeEntryName(row.name), row.safe) << tav::Printable(row.name);
        EXPECT_EQ(row.safe && tav::IsWindowsName(row.name), row.windows) << tav::Printable(row.name);
    }
}

// The stack area below this frame, where the calls just made kept their
// frames: true when `secret` is still there. It is copied out first, with no
// call that could reuse the area. Reading there is outside the language's
// rules; sanitizers move frames elsewhere.
__attribute__((noinline)) bool StackHolds(const unsigned char* secret, std::size_t size) {
    static unsigned char copy[64 * 1024];
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const auto* below = reinterpret_cast<const volatile unsigned char*>(frame - sizeof copy);
    for (std::size_t i = 0; i < sizeof copy; ++i) copy[i] = below[i];
    return std::search(copy, copy + sizeof copy, secret, secret + size) != copy + sizeof copy;
}

TEST(KeyMaterial, NoCopyOfTheDerivedKeysIsLeftOnTheStack) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps stack frames apart, so the area cannot be read back";
#endif
    ASSERT_GE(sodium_init(), 0);
    tav::Header header;
    header.kdf = tav::KdfParamsFor(1, false);
    tav::SecureBuffer key(3);
    std::memcpy(key.data(), "key", 3);
    tav::DerivedKeys keys;
    tav::DeriveKeys(key, header, keys);
    EXPECT_FALSE(StackHolds(keys.bytes.data(), 16));
    EXPECT_FALSE(StackHolds(keys.bytes.data() + 32, 16));
    const tav::HeaderBytes bytes = tav::SerializeHeader(header, keys);
    EXPECT_FALSE(StackHolds(keys.checkKey(), 16)) << "the key check's keyed hash";
    EXPECT_TRUE(tav::KeyCheckMatches(bytes, keys));
    EXPECT_FALSE(StackHolds(keys.checkKey(), 16));
}


// Names in messages: printable UTF-8 stays, anything a terminal could act on
// or that is no text becomes an escape.
TEST(Printable, EscapesControlsAndBytesThatAreNoText) {
    EXPECT_EQ(tav::Printable("caf\xc3\xa9 \xe2\x82\xac.txt"), "caf\xc3\xa9 \xe2\x82\xac.txt");
    EXPECT_EQ(tav::Printable("a\nb\tc\x7f"), "a\\x0ab\\x09c\\x7f");
    EXPECT_EQ(tav::Printable("\x1b[2J\xc2\x9b"), "\\x1b[2J\\xc2\\x9b") << "C1 CSI in UTF-8";
    EXPECT_EQ(tav::Printable("caf\xe9"), "caf\\xe9") << "Latin-1";
    EXPECT_EQ(tav::Printable("\xc0\xaf\xed\xa0\x80\xe2\x82"), "\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x82") << "overlong, surrogate, cut short";
}

}  // namespace
