#pragma once

// UTF-8 and UTF-16 conversions and simple case mapping of single code points.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvalib::platform {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes one code point of valid UTF-8 at text[offset]; nullopt for an invalid sequence
// (bad lead or continuation byte, overlong form, surrogate, value above U+10FFFF).
// On success `length` is the number of bytes taken.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t offset, size_t& length);

// The number of code points when the whole text is valid UTF-8, else nullopt.
std::optional<size_t> CountUtf8CodePoints(std::string_view text);

void AppendUtf8(std::string& out, char32_t codePoint);

// Code points above U+FFFF become surrogate pairs; invalid UTF-8 becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// Surrogate pairs are combined; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Simple (one-to-one) Unicode case mappings; code points at or above U+11000 are left alone.
char32_t ToUpperCodePoint(char32_t codePoint);
char32_t ToLowerCodePoint(char32_t codePoint);

}  // namespace quorvalib::platform
