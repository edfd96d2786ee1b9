#pragma once

// The library's text type: UTF-8 with a character (code point) count. Every path and name is
// one; paths use "/" as separator.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

#include <boost/format.hpp>

class Astring {
public:
    static constexpr size_t npos = std::string::npos;

    Astring() = default;
    // 8-bit text: valid UTF-8 is copied; anything else is read as ISO-8859-1.
    Astring(const char* text);  // NOLINT: implicit on purpose, like std::string
    Astring(std::string_view text);
    Astring(const std::string& text);
    Astring(std::string&& text);
    // UTF-16: surrogate pairs are combined, lone surrogates become U+FFFD.
    explicit Astring(std::u16string_view text);
    explicit Astring(const char16_t* text);

    Astring(const Astring& other);
    Astring(Astring&& other) noexcept;
    Astring& operator=(const Astring& other);
    Astring& operator=(Astring&& other) noexcept;
    Astring& operator=(const char* text);
    Astring& operator=(std::string_view text);
    Astring& operator=(const std::string& text);
    Astring& operator=(std::u16string_view text);

    // Printf-style formatting with Boost.Format semantics; a bad format gives the format text.
    template <typename... Args>
    static Astring Format(const char* format, const Args&... args) {
        try {
            boost::format formatter(format);
            static_cast<void>((formatter % ... % args));
            return Astring(formatter.str());
        } catch (...) {
            return Astring(format);
        }
    }

    // Never null: an empty text gives "".
    const char* c_str() const { return text_.c_str(); }
    const std::string& str() const { return text_; }
    std::string_view view() const { return text_; }
    operator std::string_view() const { return text_; }  // NOLINT: for std::string interplay

    // Characters (code points).
    size_t Length() const { return length_; }
    // Bytes of UTF-8.
    size_t Size() const { return text_.size(); }
    bool IsEmpty() const { return text_.empty(); }
    bool empty() const { return text_.empty(); }
    void Clear();

    // The UTF-16 form for platform calls, cached until the text changes; null when empty.
    // Not safe to call on one object from two threads at once.
    const char16_t* Wide() const;
    const std::u16string& WideString() const;

    // Appending 8-bit text (same rule as assignment, applied to the appended part only).
    Astring& Append(std::string_view text);
    Astring& Append(const char* text) { return Append(std::string_view(text ? text : "")); }
    Astring& Append(const std::string& text) { return Append(std::string_view(text)); }
    Astring& Append(const Astring& text);
    Astring& AppendChar(char32_t codePoint);
    // "%i"
    Astring& AppendInt(long long value);
    // "%.*f" with 0 to 15 decimals.
    Astring& AppendReal(double value, int decimals);
    Astring& operator+=(std::string_view text) { return Append(text); }
    Astring& operator+=(const Astring& text) { return Append(text); }
    Astring& operator+=(const char* text) { return Append(std::string_view(text ? text : "")); }
    Astring& operator+=(const std::string& text) { return Append(std::string_view(text)); }

    // Byte offset of a character index (Size() for an index at or past the end).
    size_t ByteOffset(size_t charIndex) const;
    // Characters [charIndex, charIndex + count).
    Astring Substring(size_t charIndex, size_t count = npos) const;
    // Character index of the first occurrence at or after `fromChar`, or npos.
    size_t Find(std::string_view needle, size_t fromChar = 0) const;
    bool StartsWith(std::string_view prefix) const { return text_.starts_with(prefix); }
    bool EndsWith(std::string_view suffix) const { return text_.ends_with(suffix); }

    // Simple Unicode case mappings.
    Astring ToUpper() const;
    Astring ToLower() const;
    bool EqualsNoCase(const Astring& other) const;

    // Path operations.
    // Adds "/" unless the text is empty or already ends with "/", then the part.
    Astring& AppendPath(std::string_view part);
    // "C:/a/b.exe" -> "C:/a", "C:/b.exe" -> "C:/", "C:/a/" -> "C:/", "/x" -> "/"; a text
    // without "/" gives an empty text.
    Astring DirectoryPart() const;
    // What follows the last "/" (a trailing "/" dropped first); texts under 3 characters stay.
    Astring FilePart() const;
    // Cuts at the last "." when it comes after the last "/"; texts of 2 characters or fewer stay.
    Astring& StripExtension();
    // Every "\" becomes "/".
    Astring& ToForwardSlashes();

    friend bool operator==(const Astring& a, const Astring& b) { return a.text_ == b.text_; }
    friend bool operator==(const Astring& a, std::string_view b) { return a.text_ == b; }
    friend bool operator==(const Astring& a, const std::string& b) { return a.text_ == b; }
    friend bool operator==(const Astring& a, const char* b) {
        return a.text_ == std::string_view(b ? b : "");
    }
    friend auto operator<=>(const Astring& a, const Astring& b) { return a.text_ <=> b.text_; }

private:
    void AssignBytes(std::string_view bytes);
    void Changed() { wideCached_ = false; }

    std::string text_;
    size_t length_ = 0;
    mutable std::u16string wide_;
    mutable bool wideCached_ = false;
};

inline Astring operator+(Astring a, std::string_view b) { return std::move(a.Append(b)); }
inline Astring operator+(Astring a, const Astring& b) { return std::move(a.Append(b)); }
inline Astring operator+(Astring a, const std::string& b) { return std::move(a.Append(b)); }
inline Astring operator+(Astring a, const char* b) {
    return std::move(a.Append(std::string_view(b ? b : "")));
}

std::ostream& operator<<(std::ostream& out, const Astring& text);

template <>
struct std::hash<Astring> {
    size_t operator()(const Astring& text) const noexcept {
        return std::hash<std::string>{}(text.str());
    }
};
