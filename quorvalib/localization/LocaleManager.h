#pragma once

// Every text the user sees, by key, in the selected language.
//
//   LocaleManager locales;                    // loads <program folder>/locales/*.xml
//   locales.SetLanguage(1029);                // 1033 when no Czech file was loaded
//   label->setText(QString::fromStdU16String(locales.GetText("DLG_TI_SYNCING")));
//
// Lookups fall back from the selected language to English, then to the first language (by
// LCID) that has the key, then to the empty text. Used by the user-interface thread; the
// LocalizationConfig answers may also be read from the updater's threads.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "quorvalib/core/Singleton.h"
#include "quorvalib/files/Astring.h"
#include "quorvalib/localization/LocalizationConfig.h"

namespace quorvalib::localization {

class LocaleManager : public core::Singleton<LocaleManager>, public LocalizationConfig {
public:
    static constexpr uint32_t kEnglish = 1033;
    static constexpr uint32_t kEnglishCodePage = 1250;

    // Publishes itself, then LoadAll.
    LocaleManager();
    // Publishes itself and loads "<folder>/locales/*.xml" without changing the current
    // directory.
    explicit LocaleManager(const Astring& folder);
    ~LocaleManager() override = default;

    // Makes the program folder the current directory and loads its "locales/*.xml".
    void LoadAll();
    // Loads every "<folder>/locales/*.xml"; unreadable and malformed files are skipped.
    void LoadFolder(const Astring& folder);
    // Loads one translation document; false (nothing stored) when it is not one.
    bool LoadDocument(std::string_view text);

    // Selects a language; returns the LCID in effect (1033 when lcid has no table).
    uint32_t SetLanguage(uint32_t lcid);

    // The text for a key as UTF-16; empty when no table has it.
    const std::u16string& GetText(const std::string& key) const;
    // The same lookup as UTF-8.
    const Astring& GetTextUtf8(const std::string& key) const;

    std::string GetLanguageCode() const override;
    std::string GetLanguageName() const override;
    std::string GetLocaleName() const override;

    uint32_t Lcid() const;
    uint32_t CodePage() const;
    bool HasLanguage(uint32_t lcid) const { return languages_.count(lcid) != 0; }
    // The keys of one language's table, in byte order; empty when it has none.
    std::vector<std::string> Keys(uint32_t lcid) const;

    // "$A", "$B", "$D" and "$W" become the product's names; any other "$" stays.
    static std::string ExpandPlaceholders(std::string_view text);

private:
    using Table = std::map<std::string, Astring, std::less<>>;

    const Astring* _Find(const std::string& key) const;

    std::map<uint32_t, Table> languages_;
    const Table* current_ = nullptr;  // points into languages_, whose nodes never move

    mutable std::mutex lock_;  // the fields below, which other threads may read
    uint32_t lcid_ = 0;
    uint32_t codePage_ = 0;
    std::string languageName_;
    std::string languageCode_;
    std::string localeName_;
};

}  // namespace quorvalib::localization
