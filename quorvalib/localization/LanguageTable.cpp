#include "quorvalib/localization/LanguageTable.h"

#include <locale.h>

namespace quorvalib::localization {
namespace {

// 1026 is listed as Russian on purpose: the product ships the Russian texts for it.
constexpr LanguageInfo kLanguages[] = {
    {1026, "russian", 1251, "ru_RU.UTF-8"},   {1029, "czech", 1250, "cs_CZ.UTF-8"},
    {1031, "german", 1252, "de_DE.UTF-8"},    {1033, "english", 1250, "en_US.UTF-8"},
    {1038, "hungarian", 1250, "hu_HU.UTF-8"}, {1045, "polish", 1250, "pl_PL.UTF-8"},
    {1049, "russian", 1251, "ru_RU.UTF-8"},   {1051, "slovak", 1250, "sk_SK.UTF-8"},
    {1055, "turkish", 1254, "tr_TR.UTF-8"},
};

}  // namespace

const LanguageInfo* FindLanguage(uint32_t lcid) {
    for (const LanguageInfo& language : kLanguages) {
        if (language.lcid == lcid) {
            return &language;
        }
    }
    return nullptr;
}

const char* InstalledLocaleOr(const char* posixName) {
    if (posixName == nullptr || *posixName == '\0') {
        return "C";
    }
    locale_t probe = newlocale(LC_COLLATE_MASK, posixName, nullptr);
    if (probe == nullptr) {
        return "C";
    }
    freelocale(probe);
    return posixName;
}

}  // namespace quorvalib::localization
