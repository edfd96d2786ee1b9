#include "common/debug/UnicodeEncoding.h"

namespace common::debug {
namespace {

bool IsScalarValue(char32_t codePoint) {
    return codePoint <= 0x10FFFF && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
}

}  // namespace

void AppendUtf8(std::string& out, char32_t codePoint) {
    const char32_t cp = IsScalarValue(codePoint) ? codePoint : kReplacementCodePoint;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
    const char32_t cp = IsScalarValue(codePoint) ? codePoint : kReplacementCodePoint;
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        const char32_t offset = cp - 0x10000;
        out += static_cast<char16_t>(0xD800 + (offset >> 10));
        out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
    }
}

}  // namespace common::debug
