#include "quorvalib/sqlite/CollationLocale.h"

#include <cstdint>
#include <strings.h>

#include <cstring>
#include <cwchar>
#include <string_view>

#include "quorvalib/sqlite/SqliteLog.h"

namespace quorvalib::sqlite {
namespace {

// The localization names its languages by word; the system knows them by POSIX name.
struct LanguageLocale {
    const char* language;
    const char* locale;
};
constexpr LanguageLocale kLanguageLocales[] = {
    {"czech", "cs_CZ.UTF-8"},     {"english", "en_US.UTF-8"}, {"german", "de_DE.UTF-8"},
    {"hungarian", "hu_HU.UTF-8"}, {"polish", "pl_PL.UTF-8"},  {"russian", "ru_RU.UTF-8"},
    {"slovak", "sk_SK.UTF-8"},    {"turkish", "tr_TR.UTF-8"},
};

std::string PosixName(const std::string& name) {
    for (const LanguageLocale& entry : kLanguageLocales) {
        if (strcasecmp(name.c_str(), entry.language) == 0) {
            return entry.locale;
        }
    }
    return name;
}

// UTF-16 code units to wide characters, combining surrogate pairs; a lone surrogate is kept
// as its code unit so that such texts still compare consistently.
void ToWide(const void* text, int bytes, std::wstring& out) {
    const size_t units = bytes > 0 ? static_cast<size_t>(bytes) / 2 : 0;
    out.clear();
    out.reserve(units);
    const auto* raw = static_cast<const unsigned char*>(text);
    auto unitAt = [raw](size_t i) {
        uint16_t unit;
        std::memcpy(&unit, raw + 2 * i, sizeof unit);  // the text need not be aligned
        return unit;
    };
    for (size_t i = 0; i < units; ++i) {
        const uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const uint32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) +
                                                   (low - 0xDC00)));
                ++i;
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
}

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

CollationLocale::~CollationLocale() { Clear(); }

void CollationLocale::Clear() {
    if (locale_) {
        freelocale(locale_);
        locale_ = nullptr;
    }
    name_.clear();
}

bool CollationLocale::Set(const std::string& name) {
    const std::string posix = PosixName(name);
    locale_t made = newlocale(LC_COLLATE_MASK, posix.c_str(), nullptr);
    bool found = made != nullptr;
    std::string madeName = posix;
    if (!made) {
        TOV_LOG_WARNING(Sqlite, "Collation locale '%s' is not installed; using the C locale.",
                        posix.c_str());
        made = newlocale(LC_COLLATE_MASK, "C", nullptr);
        madeName = "C";
    }
    if (!made) {
        // Only when the C library cannot even make "C": keep the previous locale.
        TOV_LOG_ERROR(Sqlite, "newlocale failed for the C locale.");
        return false;
    }
    Clear();
    locale_ = made;
    name_ = madeName;
    return found;
}

int CompareWcscoll(const CollationLocale* context, const void* left, int leftBytes,
                   const void* right, int rightBytes) {
    thread_local std::wstring leftWide;
    thread_local std::wstring rightWide;
    ToWide(left, leftBytes, leftWide);
    ToWide(right, rightBytes, rightWide);
    const locale_t locale = context ? context->Get() : nullptr;
    const int result = locale ? wcscoll_l(leftWide.c_str(), rightWide.c_str(), locale)
                              : wcscoll(leftWide.c_str(), rightWide.c_str());
    return Sign(result);
}

}  // namespace quorvalib::sqlite
