#include "device/Utf16.h"

#include <clocale>
#include <cwctype>

#include <locale.h>

#include "common/debug/UnicodeEncoding.h"

namespace device {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

using common::debug::AppendUtf16;
using common::debug::AppendUtf8;

// Decodes one code point at `pos`, advancing it; invalid sequences give U+FFFD for one byte.
char32_t DecodeUtf8(std::string_view text, size_t& pos, bool& valid) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        valid = false;
        return kReplacement;
    }
    if (pos + extra >= text.size()) {
        ++pos;
        valid = false;
        return kReplacement;
    }
    for (int i = 1; i <= extra; ++i) {
        const unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            valid = false;
            return kReplacement;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        valid = false;
        return kReplacement;
    }
    pos += extra + 1;
    return c;
}

template <typename Visit>
void ForEachUtf16CodePoint(std::u16string_view text, bool& valid, Visit visit) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            visit(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            valid = false;
            visit(kReplacement);
        } else {
            visit(unit);
        }
    }
}

char32_t FoldOne(char32_t c) {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    }
    // The C.UTF-8 locale carries the Unicode simple mappings whatever the user's locale is.
    static const locale_t kLocale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (kLocale == locale_t{} || sizeof(wchar_t) < 4) {
        return c;
    }
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), kLocale));
}

}  // namespace

std::string ToUtf8(std::u16string_view text, bool* valid) {
    bool ok = true;
    std::string out;
    out.reserve(text.size());
    ForEachUtf16CodePoint(text, ok, [&](char32_t c) { AppendUtf8(out, c); });
    if (valid) {
        *valid = ok;
    }
    return out;
}

std::u16string ToUtf16(std::string_view text, bool* valid) {
    bool ok = true;
    std::u16string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        AppendUtf16(out, DecodeUtf8(text, pos, ok));
    }
    if (valid) {
        *valid = ok;
    }
    return out;
}

std::u32string FoldCase(std::string_view utf8) {
    bool ignored = true;
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        out += FoldOne(DecodeUtf8(utf8, pos, ignored));
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

std::u16string ToLower(std::u16string_view text) {
    bool ignored = true;
    std::u16string out;
    out.reserve(text.size());
    ForEachUtf16CodePoint(text, ignored, [&](char32_t c) { AppendUtf16(out, FoldOne(c)); });
    return out;
}

}  // namespace device
