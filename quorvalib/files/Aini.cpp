#include "quorvalib/files/Aini.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace {

constexpr size_t kPoolStep = 4096;
constexpr size_t kItemStep = 32;
constexpr int kOpenAttempts = 50;
constexpr auto kOpenPause = std::chrono::milliseconds(10);

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Texts are kept as C strings: what follows a NUL byte would be invisible, so it is not kept
// (and not hashed) at all.
std::string_view CutAtNul(std::string_view text) {
    return text.substr(0, std::min(text.find('\0'), text.size()));
}

size_t RoundUp(size_t value, size_t step) { return (value + step - 1) / step * step; }

// An empty "[]" header still needs a non-null name to stay a header.
const char kEmptySection[] = "";

// Errors that another process's brief hold on the file can cause; anything else (missing
// file, no permission) will not change by waiting.
bool IsTransient(int error) {
    return error == EAGAIN || error == EBUSY || error == EINTR || error == ETXTBSY ||
           error == EMFILE || error == ENFILE;
}

// Values that the plain form would not read back unchanged are written between quotes.
char QuoteFor(std::string_view value) {
    if (value.empty()) return 0;
    bool needs = IsSpace(value.front()) || IsSpace(value.back()) || value.front() == '"' ||
                 value.front() == '\'' || value.front() == '=' || value.front() == ';';
    for (size_t i = 1; !needs && i < value.size(); ++i) {
        needs = value[i] == ';' && IsSpace(value[i - 1]);
    }
    if (!needs) return 0;
    if (value.find('"') == std::string_view::npos) return '"';
    if (value.find('\'') == std::string_view::npos) return '\'';
    return 0;  // holds both quote characters: no form reads it back exactly
}

}  // namespace

// Reads the text by the rules of the format, one line at a time.
class Aini::Parser {
public:
    Parser(Aini& ini, std::string_view text) : ini_(ini), text_(text) {}

    void Run() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (IsSpace(c) || c == '\n') {
                ++pos_;
            } else if (text_.substr(pos_, 3) == "\xEF\xBB\xBF") {
                pos_ += 3;
            } else if (c == '[') {
                Header();
            } else if (c == ';') {
                ++pos_;
                if (const char* comment = ini_.Pool(RestOfLine(kMaxComment))) {
                    auto item = std::make_unique<AiniItem>();
                    item->comment = comment;
                    Add(std::move(item));
                }
            } else {
                KeyLine();
            }
        }
    }

private:
    void Add(std::unique_ptr<AiniItem> item) {
        ini_.index_.AddUnsorted(item.get());
        ini_.items_.push_back(std::move(item));
    }

    bool AtLineEnd() const { return pos_ >= text_.size() || text_[pos_] == '\n'; }

    // From here to the end of the line (not taken), without a final carriage return.
    std::string_view RestOfLine(size_t limit) {
        const size_t start = pos_;
        while (!AtLineEnd()) ++pos_;
        std::string_view rest = text_.substr(start, pos_ - start);
        if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
        return rest.substr(0, limit);
    }

    // Skips to a ";" on this line; the text after it is the comment.
    const char* TrailingComment() {
        while (!AtLineEnd() && text_[pos_] != ';') ++pos_;
        if (AtLineEnd()) return nullptr;
        ++pos_;
        return ini_.Pool(RestOfLine(kMaxComment));
    }

    void Header() {
        ++pos_;
        const size_t start = pos_;
        while (!AtLineEnd() && text_[pos_] != ']') ++pos_;
        const std::string_view name =
            CutAtNul(text_.substr(start, std::min(pos_ - start, kMaxSection)));
        if (!AtLineEnd()) ++pos_;  // the "]"
        auto item = std::make_unique<AiniItem>();
        item->section = name.empty() ? kEmptySection : ini_.Pool(name);
        item->sectionHash = AiniHash(name);
        item->comment = TrailingComment();
        section_ = item->section;
        sectionHash_ = item->sectionHash;
        Add(std::move(item));
    }

    void KeyLine() {
        const size_t start = pos_;
        while (!AtLineEnd() && !IsSpace(text_[pos_]) && text_[pos_] != '=') ++pos_;
        const std::string_view key = CutAtNul(text_.substr(start, std::min(pos_ - start, kMaxKey)));
        if (key.empty()) {  // only NUL bytes where the key should be: not a line of this format
            while (!AtLineEnd()) ++pos_;
            return;
        }
        auto item = std::make_unique<AiniItem>();
        item->key = ini_.Pool(key);
        item->keyHash = AiniHash(key);
        item->section = section_;
        item->sectionHash = sectionHash_;
        while (!AtLineEnd() && IsSpace(text_[pos_])) ++pos_;
        if (AtLineEnd() || text_[pos_] != '=') {
            item->comment = TrailingComment();
            Add(std::move(item));
            return;
        }
        while (!AtLineEnd() && (IsSpace(text_[pos_]) || text_[pos_] == '=')) ++pos_;
        if (AtLineEnd()) {
            Add(std::move(item));
            return;
        }
        const char first = text_[pos_];
        if (first == '"' || first == '\'') {
            ++pos_;
            const size_t valueStart = pos_;
            while (!AtLineEnd() && text_[pos_] != first) ++pos_;
            item->value = ini_.Pool(
                text_.substr(valueStart, std::min(pos_ - valueStart, kMaxValue)));
            if (!AtLineEnd()) ++pos_;  // the closing quote
            item->comment = TrailingComment();
            Add(std::move(item));
            return;
        }
        const size_t valueStart = pos_;
        while (!AtLineEnd() && !(text_[pos_] == ';' && pos_ > valueStart && IsSpace(text_[pos_ - 1]))) {
            ++pos_;
        }
        std::string_view value = text_.substr(valueStart, pos_ - valueStart);
        value = value.substr(0, kMaxValue);
        while (!value.empty() && IsSpace(value.back())) value.remove_suffix(1);
        item->value = ini_.Pool(value);
        if (!AtLineEnd()) {  // a ";" after whitespace
            ++pos_;
            item->comment = ini_.Pool(RestOfLine(kMaxComment));
        }
        Add(std::move(item));
    }

    Aini& ini_;
    std::string_view text_;
    size_t pos_ = 0;
    const char* section_ = nullptr;
    uint32_t sectionHash_ = 0;
};

Aini::Aini(const Astring& path) : file_(path) {}

Aini::~Aini() = default;

void Aini::Clear() {
    index_.Clear();
    items_.clear();
    pooled_.clear();
    poolBlocks_.clear();
    poolBlockSize_ = 0;
    poolUsed_ = 0;
}

const char* Aini::Pool(std::string_view text) {
    text = CutAtNul(text);
    if (text.empty()) return nullptr;
    if (const auto found = pooled_.find(text); found != pooled_.end()) return found->second;
    if (poolBlocks_.empty() || poolUsed_ + text.size() + 1 > poolBlockSize_) {
        poolBlockSize_ = std::max(RoundUp(text.size() + 1, kPoolStep),
                                  poolBlocks_.empty() ? poolBlockSize_ : kPoolStep);
        poolBlocks_.push_back(std::make_unique<char[]>(poolBlockSize_));
        poolUsed_ = 0;
    }
    char* copy = poolBlocks_.back().get() + poolUsed_;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    poolUsed_ += text.size() + 1;
    pooled_.emplace(std::string_view(copy, text.size()), copy);
    return copy;
}

void Aini::LoadFromText(std::string_view text) {
    Clear();
    size_t lines = 0;
    for (const char c : text) lines += c == '\n';
    items_.reserve(RoundUp(lines + 1, kItemStep));
    index_.Reserve(RoundUp(lines + 1, kItemStep));
    poolBlockSize_ = RoundUp(text.size() + 1, kPoolStep);  // the first block holds the file
    pooled_.reserve(lines * 2 + 16);
    Parser(*this, text).Run();
    index_.Sort();
    modified_ = false;
}

bool Aini::Load() {
    error_ = Afile::kErrorNone;
    Clear();
    const bool opened = !file_.IsOpen();
    if (opened) {
        const bool logging = file_.LogErrors();
        for (int attempt = 1;; ++attempt) {
            file_.SetLogErrors(logging && attempt == kOpenAttempts);
            if (file_.OpenRead()) break;
            if (attempt == kOpenAttempts || file_.LastError() != Afile::kErrorPlatform ||
                !IsTransient(file_.PlatformError())) {
                if (attempt != kOpenAttempts && logging) {
                    // Not worth waiting for: open once more only to log the failure.
                    file_.SetLogErrors(true);
                    file_.OpenRead();
                }
                file_.SetLogErrors(logging);
                error_ = file_.LastError();
                modified_ = false;
                return false;
            }
            std::this_thread::sleep_for(kOpenPause);  // another process holds the file briefly
        }
        file_.SetLogErrors(logging);
    }
    std::string text;
    file_.Rewind();
    constexpr size_t kChunk = 64 * 1024;
    for (;;) {
        const size_t had = text.size();
        text.resize(had + kChunk);
        size_t got = 0;
        if (!file_.Read(text.data() + had, kChunk, got)) {
            error_ = file_.LastError();
            text.resize(had);
            break;
        }
        text.resize(had + got);
        if (got == 0) break;
    }
    LoadFromText(text);
    if (opened) file_.Close();
    return error_ == Afile::kErrorNone;
}

std::string Aini::SaveText() const {
    std::string out;
    out.reserve(items_.size() * 32);
    for (const auto& owned : items_) {
        const AiniItem& item = *owned;
        if (item.IsKey()) {
            std::string value = item.Value();
            // A line break inside a value would end the line early and corrupt the file.
            for (char& c : value) {
                if (c == '\n' || c == '\r') c = ' ';
            }
            // An empty value before a comment is written as "": bare, the comment would read
            // back as the value.
            const char quote = (value.empty() && item.comment) ? '"' : QuoteFor(value);
            out += item.key;
            out += "\t\t=\t";
            if (quote) out += quote;
            out += value;
            if (quote) out += quote;
            if (item.comment) {
                out += "\t\t;";
                out += item.comment;
            }
            out += "\r\n";
        } else if (item.IsHeader()) {
            out += "\r\n[";
            out += item.section;
            out += "]";
            if (item.comment) {
                out += "\t\t;";
                out += item.comment;
            }
            out += "\r\n";
        } else if (item.comment) {
            out += ";";
            out += item.comment;
            out += "\r\n";
        }
    }
    return out;
}

bool Aini::Save() {
    error_ = Afile::kErrorNone;
    if (!modified_) return true;
    const bool opened = !file_.IsOpen();
    if (opened && !file_.OpenReadWrite()) {
        error_ = file_.LastError();
        return false;
    }
    const std::string text = SaveText();
    file_.ClearError();
    file_.Seek(0, Afile::kSeekBegin);
    if (file_.LastError() != Afile::kErrorNone || !file_.Write(text.data(), text.size())) {
        error_ = Afile::kErrorPlatform;
    } else if (!file_.Truncate()) {
        error_ = Afile::kErrorPlatform;
    }
    file_.Size();
    if (opened) file_.Close();
    // A failed save keeps the changes pending, so that a later Save can still write them.
    if (error_ == Afile::kErrorNone) modified_ = false;
    return error_ == Afile::kErrorNone;
}

const AiniItem* Aini::Find(std::string_view section, std::string_view key) const {
    return index_.FindItem(AiniHash(section), AiniHash(key));
}

Astring Aini::ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const {
    const AiniItem* item = Find(section, key);
    if (!item || !item->IsKey()) return Astring(defaultValue);
    return Astring(item->Value());
}

size_t Aini::PositionOf(const AiniItem* item) const {
    for (size_t position = 0; position < items_.size(); ++position) {
        if (items_[position].get() == item) return position;
    }
    return items_.size();
}

void Aini::InsertItem(size_t position, std::unique_ptr<AiniItem> item) {
    index_.Add(item.get());
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(position), std::move(item));
}

void Aini::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    if (key.empty()) return;
    const AiniItem* found = Find(section, key);
    if (found && found->IsKey()) {
        // The index hands out const items; this object owns them.
        const_cast<AiniItem*>(found)->value = Pool(value);
        modified_ = true;
        return;
    }
    AddItem(section, key, value);
}

void Aini::AddItem(std::string_view section, std::string_view key, std::string_view value) {
    if (key.empty()) return;  // a line without key would read back as something else
    const uint32_t sectionHash = AiniHash(section);
    auto item = std::make_unique<AiniItem>();
    item->key = Pool(key);
    item->keyHash = AiniHash(key);
    item->sectionHash = sectionHash;
    item->value = Pool(value);
    modified_ = true;

    if (section.empty()) {
        // Lines before the first header belong to no section: a key appended after a header
        // would read back as part of that section.
        size_t position = 0;
        while (position < items_.size() && !items_[position]->IsHeader()) ++position;
        size_t last = position;
        while (last > 0 && !items_[last - 1]->IsKey()) --last;  // after the last key, if any
        InsertItem(last > 0 ? last : position, std::move(item));
        return;
    }
    const AiniItem* header = index_.FindItem(sectionHash, 0);
    if (header && header->IsHeader()) {
        item->section = header->section;
        size_t last = items_.size();
        while (last > 0 && items_[last - 1]->sectionHash != sectionHash) --last;
        InsertItem(last, std::move(item));
        return;
    }
    auto newHeader = std::make_unique<AiniItem>();
    newHeader->section = Pool(section);
    newHeader->sectionHash = sectionHash;
    item->section = newHeader->section;
    InsertItem(items_.size(), std::move(newHeader));
    InsertItem(items_.size(), std::move(item));
}

int Aini::ReadInt(std::string_view section, std::string_view key, int defaultValue) {
    const AiniItem* item = Find(section, key);
    if (!item || !item->IsKey()) {
        SetValue(section, key, Astring::Format("%i", defaultValue).str());
        return defaultValue;
    }
    const char* text = item->Value();
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    long long result = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        result = result * 10 + (*text - '0');
        if (result > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) result = -result;
    if (result > INT_MAX) return INT_MAX;
    if (result < INT_MIN) return INT_MIN;
    return static_cast<int>(result);
}

bool Aini::ReadBool(std::string_view section, std::string_view key, bool defaultValue) {
    const AiniItem* item = Find(section, key);
    if (!item || !item->IsKey()) {
        SetBool(section, key, defaultValue);
        return defaultValue;
    }
    const Astring value = Astring(item->Value()).ToUpper();
    return value == "YES" || value == "ON" || value == "TRUE" || value == "1";
}

void Aini::SetBool(std::string_view section, std::string_view key, bool value) {
    SetValue(section, key, value ? "1" : "0");
}
