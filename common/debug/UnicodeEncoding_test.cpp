#include "common/debug/UnicodeEncoding.h"

#include <gtest/gtest.h>

namespace common::debug {
namespace {

TEST(UnicodeEncoding, EncodesEachFormAtItsBoundariesAndReplacesNonScalarValues) {
    const struct {
        char32_t codePoint;
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {0x00, std::string(1, '\0'), std::u16string(1, u'\0')},
        {0x7F, "\x7F", u"\x7F"},
        {0x80, "\xC2\x80", u"\x80"},
        {0x7FF, "\xDF\xBF", u"\x7FF"},
        {0x800, "\xE0\xA0\x80", u"\x800"},
        {0xD7FF, "\xED\x9F\xBF", u"\xD7FF"},
        {0xE000, "\xEE\x80\x80", u"\xE000"},
        {0xFFFF, "\xEF\xBF\xBF", u"\xFFFF"},
        {0x10000, "\xF0\x90\x80\x80", u"\xD800\xDC00"},
        {0x1F600, "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        // Not scalar values: a lone surrogate of either half, and beyond the code space.
        {0xD800, "\xEF\xBF\xBD", u"\xFFFD"},
        {0xDFFF, "\xEF\xBF\xBD", u"\xFFFD"},
        {0x110000, "\xEF\xBF\xBD", u"\xFFFD"},
        {0xFFFFFFFF, "\xEF\xBF\xBD", u"\xFFFD"},
    };
    for (const auto& c : cases) {
        std::string utf8 = "<";
        AppendUtf8(utf8, c.codePoint);
        EXPECT_EQ(utf8, "<" + c.utf8) << std::hex << static_cast<uint32_t>(c.codePoint);

        std::u16string utf16 = u"<";
        AppendUtf16(utf16, c.codePoint);
        EXPECT_EQ(utf16, u"<" + c.utf16) << std::hex << static_cast<uint32_t>(c.codePoint);
    }
}

}  // namespace
}  // namespace common::debug
