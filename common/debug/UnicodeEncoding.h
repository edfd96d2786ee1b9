#pragma once

// Encoders for single Unicode code points, shared by every layer that converts text.

#include <string>

namespace common::debug {

inline constexpr char32_t kReplacementCodePoint = 0xFFFD;

// Appends the UTF-8 form of a code point; a surrogate or a value above U+10FFFF is written as
// U+FFFD, so the output is always valid UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// Appends the UTF-16 form: one unit, or a surrogate pair above U+FFFF. A surrogate or a value
// above U+10FFFF is written as U+FFFD.
void AppendUtf16(std::u16string& out, char32_t codePoint);

}  // namespace common::debug
