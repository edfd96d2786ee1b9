#pragma once

// UTF-8 and UTF-16 conversions for device paths and texts, and the letter-case folding that
// the device's FAT volumes apply to names.

#include <string>
#include <string_view>

namespace device {

// Surrogate pairs are combined; an unpaired surrogate or an invalid UTF-8 sequence becomes
// U+FFFD. Set `valid` to learn whether the input needed such a replacement.
std::string ToUtf8(std::u16string_view text, bool* valid = nullptr);
std::u16string ToUtf16(std::string_view text, bool* valid = nullptr);

// Code points of a UTF-8 text, each folded to lower case (simple mappings), so that two names
// that differ only in letter case fold to the same text.
std::u32string FoldCase(std::string_view utf8);
bool EqualNoCase(std::string_view a, std::string_view b);

// Lower-case copy of a UTF-16 text (simple mappings; surrogate pairs kept as pairs).
std::u16string ToLower(std::u16string_view text);

}  // namespace device
