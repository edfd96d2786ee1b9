#include "device/Utf16.h"

#include <gtest/gtest.h>

namespace device {
namespace {

TEST(Utf16, SurrogatePairsSurviveBothWays) {
    const std::string utf8 = "a\xF0\x9F\x98\x80\xC3\xA9";  // a, U+1F600, é
    bool valid = false;
    const std::u16string wide = ToUtf16(utf8, &valid);
    EXPECT_TRUE(valid);
    EXPECT_EQ(wide, (std::u16string{u'a', 0xD83D, 0xDE00, 0xE9}));
    EXPECT_EQ(ToUtf8(wide, &valid), utf8);
    EXPECT_TRUE(valid);
}

TEST(Utf16, InvalidInputBecomesReplacementAndIsReported) {
    struct Case {
        std::string utf8;
        std::u16string wide;
    };
    const Case cases[] = {
        {"caf\xE9", u"caf\uFFFD"},        // a Latin-1 byte
        {"\xC0\xAF", u"\uFFFD\uFFFD"},    // overlong "/"
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xE2\x82", u"\uFFFD\uFFFD"},    // cut short
    };
    for (const auto& c : cases) {
        bool valid = true;
        EXPECT_EQ(ToUtf16(c.utf8, &valid), c.wide) << c.utf8;
        EXPECT_FALSE(valid) << c.utf8;
    }
    bool valid = true;
    EXPECT_EQ(ToUtf8(std::u16string{u'x', 0xD800}, &valid), "x\xEF\xBF\xBD");
    EXPECT_FALSE(valid);
}

TEST(Utf16, LetterCaseIsIgnoredBeyondAscii) {
    EXPECT_TRUE(EqualNoCase("STORAGE card", "Storage Card"));
    EXPECT_TRUE(EqualNoCase("\xC3\x84rger", "\xC3\xA4RGER"));  // Ärger
    EXPECT_FALSE(EqualNoCase("sdmmc", "sdmmc2"));
    EXPECT_EQ(ToLower(u"\\Maps\\X.FPAK.Bak"), u"\\maps\\x.fpak.bak");
}

}  // namespace
}  // namespace device
