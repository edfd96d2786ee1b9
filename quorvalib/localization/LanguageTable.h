#pragma once

#include <cstdint>

namespace quorvalib::localization {

// One language the program knows by its Windows language identifier (LCID).
struct LanguageInfo {
    uint32_t lcid;
    const char* name;       // "czech"
    uint32_t codePage;      // Windows ANSI code page
    const char* posixName;  // the UTF-8 locale of this platform, "cs_CZ.UTF-8"
};

// Null for an LCID the program does not know.
const LanguageInfo* FindLanguage(uint32_t lcid);

// The name if newlocale accepts it for collation, else "C".
const char* InstalledLocaleOr(const char* posixName);

}  // namespace quorvalib::localization
