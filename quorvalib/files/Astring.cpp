#include "quorvalib/files/Astring.h"

#include <cstdio>
#include <ostream>

#include "quorvalib/platform/TextEncoding.h"

namespace platform = quorvalib::platform;

Astring::Astring(const char* text) { AssignBytes(text ? std::string_view(text) : std::string_view()); }
Astring::Astring(std::string_view text) { AssignBytes(text); }
Astring::Astring(const std::string& text) { AssignBytes(text); }
Astring::Astring(std::string&& text) {
    if (const auto count = platform::CountUtf8CodePoints(text)) {
        text_ = std::move(text);
        length_ = *count;
    } else {
        AssignBytes(text);
    }
}
Astring::Astring(std::u16string_view text) { *this = text; }
Astring::Astring(const char16_t* text) {
    *this = text ? std::u16string_view(text) : std::u16string_view();
}

Astring::Astring(const Astring& other) : text_(other.text_), length_(other.length_) {}
Astring::Astring(Astring&& other) noexcept
    : text_(std::move(other.text_)), length_(other.length_) {
    other.text_.clear();
    other.length_ = 0;
    other.Changed();
}

Astring& Astring::operator=(const Astring& other) {
    if (this != &other) {
        text_ = other.text_;
        length_ = other.length_;
        Changed();
    }
    return *this;
}

Astring& Astring::operator=(Astring&& other) noexcept {
    if (this != &other) {
        text_ = std::move(other.text_);
        length_ = other.length_;
        other.text_.clear();
        other.length_ = 0;
        other.Changed();
        Changed();
    }
    return *this;
}

Astring& Astring::operator=(const char* text) {
    AssignBytes(text ? std::string_view(text) : std::string_view());
    return *this;
}
Astring& Astring::operator=(std::string_view text) {
    AssignBytes(text);
    return *this;
}
Astring& Astring::operator=(const std::string& text) {
    AssignBytes(text);
    return *this;
}
Astring& Astring::operator=(std::u16string_view text) {
    text_ = platform::Utf16ToUtf8(text);
    length_ = platform::CountUtf8CodePoints(text_).value_or(0);
    Changed();
    return *this;
}

void Astring::AssignBytes(std::string_view bytes) {
    if (bytes.data() >= text_.data() && bytes.data() < text_.data() + text_.size()) {
        const std::string copy(bytes);  // assigning a part of itself
        AssignBytes(copy);
        return;
    }
    text_.clear();
    length_ = 0;
    Changed();
    Append(bytes);
}

void Astring::Clear() {
    text_.clear();
    length_ = 0;
    Changed();
}

const std::u16string& Astring::WideString() const {
    if (!wideCached_) {
        wide_ = platform::Utf8ToUtf16(text_);
        wideCached_ = true;
    }
    return wide_;
}

const char16_t* Astring::Wide() const {
    if (text_.empty()) return nullptr;
    return WideString().c_str();
}

Astring& Astring::Append(std::string_view bytes) {
    if (bytes.empty()) return *this;
    if (const auto count = platform::CountUtf8CodePoints(bytes)) {
        text_.append(bytes.data(), bytes.size());
        length_ += *count;
    } else {
        // Not UTF-8: every byte is an ISO-8859-1 character.
        const std::string copy(bytes);
        text_.reserve(text_.size() + copy.size() * 2);
        for (const char byte : copy) {
            platform::AppendUtf8(text_, static_cast<uint8_t>(byte));
        }
        length_ += copy.size();
    }
    Changed();
    return *this;
}

Astring& Astring::Append(const Astring& other) {
    if (&other == this) {
        const Astring copy(other);
        return Append(copy);
    }
    text_ += other.text_;
    length_ += other.length_;
    Changed();
    return *this;
}

Astring& Astring::AppendChar(char32_t codePoint) {
    platform::AppendUtf8(text_, codePoint);
    ++length_;
    Changed();
    return *this;
}

Astring& Astring::AppendInt(long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lli", value);
    return Append(std::string_view(buffer));
}

Astring& Astring::AppendReal(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 15) decimals = 15;
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return Append(std::string_view(buffer));
}

size_t Astring::ByteOffset(size_t charIndex) const {
    size_t offset = 0;
    while (charIndex > 0 && offset < text_.size()) {
        ++offset;
        while (offset < text_.size() && (static_cast<uint8_t>(text_[offset]) & 0xC0) == 0x80) {
            ++offset;
        }
        --charIndex;
    }
    return offset;
}

Astring Astring::Substring(size_t charIndex, size_t count) const {
    const size_t start = ByteOffset(charIndex);
    if (start >= text_.size()) return {};
    size_t end = text_.size();
    if (count != npos) {
        const Astring rest(std::string_view(text_).substr(start));
        end = start + rest.ByteOffset(count);
    }
    return Astring(std::string_view(text_).substr(start, end - start));
}

size_t Astring::Find(std::string_view needle, size_t fromChar) const {
    const size_t at = text_.find(needle, ByteOffset(fromChar));
    if (at == std::string::npos) return npos;
    return platform::CountUtf8CodePoints(std::string_view(text_).substr(0, at)).value_or(0);
}

namespace {

template <typename Map>
Astring MapCase(const std::string& text, Map map) {
    std::string out;
    out.reserve(text.size());
    size_t offset = 0;
    while (offset < text.size()) {
        size_t length = 1;
        const auto cp = platform::DecodeUtf8(text, offset, length);
        platform::AppendUtf8(out, map(cp.value_or(platform::kReplacementCharacter)));
        offset += cp ? length : 1;
    }
    return Astring(std::move(out));
}

}  // namespace

Astring Astring::ToUpper() const { return MapCase(text_, platform::ToUpperCodePoint); }
Astring Astring::ToLower() const { return MapCase(text_, platform::ToLowerCodePoint); }

bool Astring::EqualsNoCase(const Astring& other) const {
    return length_ == other.length_ && ToLower() == other.ToLower();
}

Astring& Astring::AppendPath(std::string_view part) {
    if (!text_.empty() && text_.back() != '/') Append(std::string_view("/"));
    return Append(part);
}

Astring Astring::DirectoryPart() const {
    std::string_view text = text_;
    if (text.size() > 1 && text.back() == '/' && text.find('/') != text.size() - 1) {
        text.remove_suffix(1);
    }
    const size_t last = text.rfind('/');
    if (last == std::string_view::npos) return {};
    const bool first = text.find('/') == last;
    return Astring(text.substr(0, first ? last + 1 : last));
}

Astring Astring::FilePart() const {
    if (length_ < 3) return *this;
    std::string_view text = text_;
    if (text.back() == '/') text.remove_suffix(1);
    const size_t last = text.rfind('/');
    if (last == std::string_view::npos) return Astring(text);
    return Astring(text.substr(last + 1));
}

Astring& Astring::StripExtension() {
    if (length_ <= 2) return *this;
    const size_t dot = text_.rfind('.');
    if (dot == std::string::npos) return *this;
    const size_t slash = text_.rfind('/');
    if (slash != std::string::npos && slash > dot) return *this;
    const std::string kept = text_.substr(0, dot);
    AssignBytes(kept);
    return *this;
}

Astring& Astring::ToForwardSlashes() {
    bool changed = false;
    for (char& c : text_) {
        if (c == '\\') {
            c = '/';
            changed = true;
        }
    }
    if (changed) Changed();
    return *this;
}

std::ostream& operator<<(std::ostream& out, const Astring& text) { return out << text.str(); }
