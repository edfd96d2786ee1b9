#include "common/debug/Utf8Text.h"

#include <cstdint>

#include "common/debug/UnicodeEncoding.h"

namespace common::debug {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

}  // namespace

std::string ReplaceInvalidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        int length = 0;
        uint32_t cp = 0;
        uint32_t minimum = 0;
        if (lead >= 0xC0 && lead < 0xE0) { length = 2; cp = lead & 0x1F; minimum = 0x80; }
        else if (lead >= 0xE0 && lead < 0xF0) { length = 3; cp = lead & 0x0F; minimum = 0x800; }
        else if (lead >= 0xF0 && lead <= 0xF7) { length = 4; cp = lead & 0x07; minimum = 0x10000; }
        if (length == 0) {  // a stray continuation byte or a lead byte above 0xF7
            out += kReplacement;
            ++i;
            continue;
        }
        int have = 1;
        while (have < length && i + have < text.size() &&
               (static_cast<uint8_t>(text[i + have]) & 0xC0) == 0x80) {
            cp = (cp << 6) | (static_cast<uint8_t>(text[i + have]) & 0x3F);
            ++have;
        }
        if (have < length) {  // the sequence broke off: resume at the byte that broke it
            out += kReplacement;
            i += have;
            continue;
        }
        i += length;
        const bool valid = cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) &&
                           cp != 0xFFFE && cp != 0xFFFF;
        if (valid) AppendUtf8(out, cp);
        else out += kReplacement;
    }
    return out;
}

}  // namespace common::debug
