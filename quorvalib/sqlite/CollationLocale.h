#pragma once

#include <locale.h>

#include <string>

namespace quorvalib::sqlite {

// The locale that the "WCSCOLL" collation orders texts by. Empty until Set is called; an empty
// holder makes the collation follow the process's current locale.
class CollationLocale {
public:
    CollationLocale() = default;
    ~CollationLocale();
    CollationLocale(const CollationLocale&) = delete;
    CollationLocale& operator=(const CollationLocale&) = delete;

    // Makes a collate-category locale from a name. Accepts POSIX names ("cs_CZ.UTF-8") and the
    // language names of the localization ("czech"), which map to their UTF-8 locale. A name that
    // is not installed falls back to the "C" locale (logged); returns false in that case.
    bool Set(const std::string& name);
    // Back to the process's current locale.
    void Clear();

    // Null when empty.
    locale_t Get() const { return locale_; }
    // The name the locale was finally made from ("C" after a fallback); empty when empty.
    const std::string& Name() const { return name_; }

private:
    locale_t locale_ = nullptr;
    std::string name_;
};

// The comparison "WCSCOLL" registers: UTF-16 texts in native byte order, given by byte length,
// ordered by wcscoll_l with the context's locale (wcscoll when the context or its locale is
// null). Negative, zero or positive.
int CompareWcscoll(const CollationLocale* context, const void* left, int leftBytes,
                   const void* right, int rightBytes);

}  // namespace quorvalib::sqlite
