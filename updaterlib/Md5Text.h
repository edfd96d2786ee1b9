#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace updaterlib {

// Hexadecimal digits to bytes, pairing from the left after one "0" is put in front of an odd
// count ("abc" -> 0x0a 0xbc). Digits may be upper or lower case. False (and no bytes) when
// a character is not a digit.
bool Md5TextToBytes(std::string_view text, std::vector<uint8_t>& bytes);

// Two lower-case digits per byte.
std::string Md5BytesToText(const std::vector<uint8_t>& bytes);

}  // namespace updaterlib
