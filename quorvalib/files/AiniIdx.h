#pragma once

// The line items of an INI file and their index by (section hash, key hash).

#include <cstdint>
#include <string_view>

#include "quorvalib/files/Aindex.h"

// One non-blank line. Texts point into the owning Aini's string pool; null when absent.
// Header: section set, key null. Key line: key set (section = the section it belongs to).
// Comment line: only comment set.
struct AiniItem {
    uint32_t keyHash = 0;      // CRC-32 of the lower-cased key, 0 without key
    uint32_t sectionHash = 0;  // CRC-32 of the lower-cased section name, 0 without section
    const char* section = nullptr;
    const char* key = nullptr;
    const char* value = nullptr;
    const char* comment = nullptr;

    bool IsHeader() const { return key == nullptr && section != nullptr; }
    bool IsKey() const { return key != nullptr; }
    bool IsComment() const { return key == nullptr && section == nullptr; }
    // The value, "" when absent.
    const char* Value() const { return value ? value : ""; }
};

// CRC-32 (zlib's) of the name with only "A" to "Z" lower-cased; 0 for an empty name.
uint32_t AiniHash(std::string_view name);

inline uint64_t AiniKey(uint32_t sectionHash, uint32_t keyHash) {
    return (static_cast<uint64_t>(sectionHash) << 32) | keyHash;
}

class AiniIdx final : public Aindex {
public:
    uint64_t Key(const void* element) const override {
        const auto* item = static_cast<const AiniItem*>(element);
        return AiniKey(item->sectionHash, item->keyHash);
    }
    const AiniItem* FindItem(uint32_t sectionHash, uint32_t keyHash) const {
        return static_cast<const AiniItem*>(Find(AiniKey(sectionHash, keyHash)));
    }
};
