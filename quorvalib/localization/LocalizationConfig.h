#pragma once

#include <string>

namespace quorvalib::localization {

// What the rest of the program needs to know of the selected language.
class LocalizationConfig {
public:
    virtual ~LocalizationConfig() = default;

    // The language code sent to the update server; empty when no language is set.
    virtual std::string GetLanguageCode() const = 0;
    // The language's locale name (narrow text, such as "czech"); it selects the collation
    // locale of the package database. Empty when no language is set.
    virtual std::string GetLanguageName() const = 0;
    // A locale name this platform's newlocale accepts for the language ("cs_CZ.UTF-8"), "C"
    // when that locale is not installed. The default passes the language name on.
    virtual std::string GetLocaleName() const { return GetLanguageName(); }
};

}  // namespace quorvalib::localization
