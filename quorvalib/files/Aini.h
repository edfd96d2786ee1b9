#pragma once

// An INI file held in memory: every non-blank line in file order (comments included), values
// found by section and key through a hash index, written back in a fixed layout only when
// something changed. Section and key names match without regard to ASCII letter case; an
// empty section name means the lines before the first header.
// Not thread-safe: one thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quorvalib/files/Afile.h"
#include "quorvalib/files/AiniIdx.h"
#include "quorvalib/files/Astring.h"

class Aini {
public:
    // Longest stored texts; the parser drops what goes beyond them.
    static constexpr size_t kMaxSection = 510;
    static constexpr size_t kMaxKey = 511;
    static constexpr size_t kMaxValue = 2045;
    static constexpr size_t kMaxComment = 1020;

    explicit Aini(const Astring& path);
    virtual ~Aini();
    Aini(const Aini&) = delete;
    Aini& operator=(const Aini&) = delete;

    // Called by the settings access when the file does not exist. Does nothing here.
    virtual void SetDefaults() {}

    // Replaces the content with the file's. False on a read failure (error set).
    bool Load();
    // Parses text as if it were the file's content (for content from elsewhere).
    void LoadFromText(std::string_view text);
    // Writes the normalised layout when something changed; true when nothing did.
    bool Save();
    // The text Save writes.
    std::string SaveText() const;

    const AiniItem* Find(std::string_view section, std::string_view key) const;
    // The value, or the default when the key is absent. Writes nothing.
    Astring ReadString(std::string_view section, std::string_view key,
                       std::string_view defaultValue = {}) const;
    void SetValue(std::string_view section, std::string_view key, std::string_view value);
    // A new key line, after the last line of its section (a new section goes at the end).
    void AddItem(std::string_view section, std::string_view key, std::string_view value);
    // Absent: the default is written and returned.
    int ReadInt(std::string_view section, std::string_view key, int defaultValue);
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue);
    void SetBool(std::string_view section, std::string_view key, bool value);

    size_t ItemCount() const { return items_.size(); }
    const AiniItem& Item(size_t position) const { return *items_[position]; }
    bool IsModified() const { return modified_; }
    int LastError() const { return error_; }
    const Astring& Path() const { return file_.Path(); }
    Afile& File() { return file_; }

private:
    class Parser;

    void Clear();
    // Pooled copy (identical texts shared); null for an empty text.
    const char* Pool(std::string_view text);
    void InsertItem(size_t position, std::unique_ptr<AiniItem> item);
    size_t PositionOf(const AiniItem* item) const;

    Afile file_;
    std::vector<std::unique_ptr<AiniItem>> items_;
    AiniIdx index_;
    // String pool: blocks never move, so pooled pointers stay valid until Clear.
    std::vector<std::unique_ptr<char[]>> poolBlocks_;
    size_t poolBlockSize_ = 0;
    size_t poolUsed_ = 0;
    std::unordered_map<std::string_view, const char*> pooled_;
    bool modified_ = false;
    int error_ = Afile::kErrorNone;
};
