#include "quorvalib/platform/TextEncoding.h"

#include <gtest/gtest.h>

namespace quorvalib::platform {
namespace {

TEST(TextEncoding, Utf8ToUtf16MakesSurrogatePairsAndBack) {
    const std::string grin = "a\xF0\x9F\x98\x80z";  // a U+1F600 z
    const std::u16string wide = Utf8ToUtf16(grin);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide[1], 0xD83D);
    EXPECT_EQ(wide[2], 0xDE00);
    EXPECT_EQ(Utf16ToUtf8(wide), grin);
    EXPECT_EQ(Utf16ToUtf8(u"\u00e9\u4e2d"), "\xC3\xA9\xE4\xB8\xAD");
}

TEST(TextEncoding, LoneSurrogatesAndInvalidBytesBecomeReplacementCharacters) {
    const std::u16string lone = {u'x', char16_t(0xD83D), u'y', char16_t(0xDE00)};
    EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', char16_t(0xFFFD), u'b'}));
}

TEST(TextEncoding, CountRejectsEveryKindOfInvalidSequence) {
    struct Case {
        const char* text;
        std::optional<size_t> count;
    };
    const Case cases[] = {
        {"", 0},
        {"caf\xC3\xA9", 4},
        {"\xF0\x9F\x98\x80", 1},
        {"caf\xE9", std::nullopt},            // ISO-8859-1 byte
        {"\xC0\xAF", std::nullopt},           // overlong "/"
        {"\xED\xA0\x80", std::nullopt},       // encoded surrogate
        {"\xF4\x90\x80\x80", std::nullopt},   // above U+10FFFF
        {"\xE2\x82", std::nullopt},           // cut short
        {"\x80", std::nullopt},               // stray continuation byte
    };
    for (const Case& c : cases) EXPECT_EQ(CountUtf8CodePoints(c.text), c.count) << c.text;
}

TEST(TextEncoding, SimpleCaseMappingBelowTheLimit) {
    EXPECT_EQ(ToUpperCodePoint(U'a'), U'A');
    EXPECT_EQ(ToLowerCodePoint(U'Z'), U'z');
    EXPECT_EQ(ToUpperCodePoint(U'\u010d'), U'\u010c');  // č
    EXPECT_EQ(ToLowerCodePoint(U'\u0416'), U'\u0436');  // Cyrillic Zhe
    EXPECT_EQ(ToUpperCodePoint(U'1'), U'1');
    EXPECT_EQ(ToLowerCodePoint(U'\U0001E900'), U'\U0001E900');  // above U+11000: unchanged
}

}  // namespace
}  // namespace quorvalib::platform
