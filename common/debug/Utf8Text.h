#pragma once

#include <string>
#include <string_view>

namespace common::debug {

// Decodes UTF-8 and encodes it again, with U+FFFD for every byte sequence that is not a
// valid scalar value: a lead byte above 0xF7, a missing or wrong continuation byte, an
// overlong form, a surrogate, U+FFFE, U+FFFF, or a value above U+10FFFF. What the debugger
// and console sinks write is therefore always valid UTF-8.
std::string ReplaceInvalidUtf8(std::string_view text);

}  // namespace common::debug
