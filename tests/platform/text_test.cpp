#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

using platform::CharacterCount;
using platform::IsValidUtf8;
using platform::Utf16FromUtf8;
using platform::Utf8FromUtf16;

// UTF-16 as an edit field or an NTFS name holds it, and the bytes it is
// carried as; both ways exact, lone surrogates included.
TEST(Text, EveryUnitRoundTripsAndOnlyUnicodeIsValid) {
    const struct { std::u16string units; std::string bytes; std::size_t characters; bool valid; } cases[] = {
        {u"", "", 0, true},
        {u"key \"\\", "key \"\\", 6, true},
        {u"p\u00E4ss", "p\xC3\xA4ss", 4, true},
        {u"\u043F\u0430\u0440\u043E\u043B\u044C-\u65E5 \U0001F511", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C-\xE6\x97\xA5 \xF0\x9F\x94\x91", 10, true},
        {u"\uFFFF\U0010FFFF", "\xEF\xBF\xBF\xF4\x8F\xBF\xBF", 2, true},
        {u"a\xD800", "a\xED\xA0\x80", 2, false},                        // a lead with no trail
        {u"\xDFFFz", "\xED\xBF\xBFz", 2, false},                        // a trail with no lead
        {u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80", 2, false},        // the pair's halves swapped
        {u"\U0001F511\xD83D", "\xF0\x9F\x94\x91\xED\xA0\xBD", 2, false},  // a pair, then half of one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(Utf8FromUtf16(c.units), c.bytes);
        std::u16string units;
        EXPECT_TRUE(Utf16FromUtf8(c.bytes, units));
        EXPECT_EQ(units, c.units);
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
        EXPECT_EQ(CharacterCount(c.bytes), c.characters);
    }
}

TEST(Text, BytesThatAreNoTextAreRefused) {
    for (const std::string bytes : {"\x80", "ab\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xF4\x90\x80\x80",
                                    "\xF8\x88\x80\x80\x80", "\xFF", "\xE6\x97x", "\xED\xA0\xBD\xED\xB4\x91"}) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        std::u16string units;
        EXPECT_FALSE(Utf16FromUtf8(bytes, units));
        EXPECT_FALSE(IsValidUtf8(bytes));
    }
}

}  // namespace
