#include "quorvalib/platform/TextEncoding.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

#include "common/debug/UnicodeEncoding.h"

namespace quorvalib::platform {
namespace {

constexpr char32_t kCaseMappingLimit = 0x11000;

// The C library's wide-character tables of a UTF-8 locale hold the simple case mappings.
// "C.UTF-8" is built into the C library; without it only ASCII is mapped.
locale_t CaseLocale() {
    static const locale_t locale = [] {
        locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (made == static_cast<locale_t>(0)) {
            made = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
        }
        return made;
    }();
    return locale;
}

}  // namespace

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t offset, size_t& length) {
    if (offset >= text.size()) return std::nullopt;
    const auto lead = static_cast<uint8_t>(text[offset]);
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    size_t need = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead < 0xE0) { need = 2; cp = lead & 0x1F; minimum = 0x80; }
    else if (lead >= 0xE0 && lead < 0xF0) { need = 3; cp = lead & 0x0F; minimum = 0x800; }
    else if (lead >= 0xF0 && lead <= 0xF4) { need = 4; cp = lead & 0x07; minimum = 0x10000; }
    else return std::nullopt;
    if (offset + need > text.size()) return std::nullopt;
    for (size_t i = 1; i < need; ++i) {
        const auto byte = static_cast<uint8_t>(text[offset + i]);
        if ((byte & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (byte & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    length = need;
    return cp;
}

std::optional<size_t> CountUtf8CodePoints(std::string_view text) {
    size_t count = 0;
    size_t offset = 0;
    while (offset < text.size()) {
        // ASCII runs are the common case.
        if (static_cast<uint8_t>(text[offset]) < 0x80) {
            ++offset;
            ++count;
            continue;
        }
        size_t length = 0;
        if (!DecodeUtf8(text, offset, length)) return std::nullopt;
        offset += length;
        ++count;
    }
    return count;
}

void AppendUtf8(std::string& out, char32_t cp) { common::debug::AppendUtf8(out, cp); }

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t offset = 0;
    while (offset < text.size()) {
        size_t length = 1;
        const std::optional<char32_t> decoded = DecodeUtf8(text, offset, length);
        const char32_t cp = decoded ? *decoded : kReplacementCharacter;
        offset += decoded ? length : 1;
        common::debug::AppendUtf16(out, cp);
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else {
            AppendUtf8(out, unit);  // a lone surrogate becomes U+FFFD there
        }
    }
    return out;
}

char32_t ToUpperCodePoint(char32_t cp) {
    if (cp < 0x80) return (cp >= 'a' && cp <= 'z') ? cp - 32 : cp;
    if (cp >= kCaseMappingLimit) return cp;
    const locale_t locale = CaseLocale();
    if (locale == static_cast<locale_t>(0)) return cp;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), locale));
}

char32_t ToLowerCodePoint(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    if (cp >= kCaseMappingLimit) return cp;
    const locale_t locale = CaseLocale();
    if (locale == static_cast<locale_t>(0)) return cp;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), locale));
}

}  // namespace quorvalib::platform
