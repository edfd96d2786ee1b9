#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalib::xml {

// Event-style XML reader over expat, without namespace processing: element and attribute names
// arrive exactly as written ("xml:lang" stays "xml:lang"). Derived classes get a start and an
// end handler; the base keeps the stack of open element names and the character data collected
// since the last tag. The parser may be reused: every parse starts from a clean state.
class XmlParserBase {
public:
    // Expat's attribute list: name, value, name, value, ..., null.
    using Attributes = const char* const*;

    static constexpr std::size_t kChunkSize = 128;

    XmlParserBase() = default;
    virtual ~XmlParserBase() = default;
    XmlParserBase(const XmlParserBase&) = delete;
    XmlParserBase& operator=(const XmlParserBase&) = delete;

    // Reads the file in chunks of kChunkSize bytes and feeds them to expat. True when the file
    // was read and the whole document is well formed; false (logged once) otherwise.
    bool ParseFile(const std::string& path);
    // Same, for a document in memory (fed in the same chunks).
    bool ParseBuffer(std::string_view document);

    // "OK" after a successful parse, otherwise what went wrong (empty before the first parse).
    const std::string& Status() const { return status_; }

    // The value of the named attribute, or null when it is missing.
    static const char* FindAttribute(Attributes attributes, std::string_view name);

protected:
    // Called once at the start of every parse, before the first handler.
    virtual void OnParseBegin() {}
    virtual void OnElementStart(const std::string& name, Attributes attributes) = 0;
    // Text() holds the element's character data (since the last start or end tag).
    virtual void OnElementEnd(const std::string& name) = 0;

    // Open elements, outermost first; during a start handler the new element is on top, during
    // an end handler the closing element is still on top.
    const std::vector<std::string>& ElementStack() const { return stack_; }
    const std::string& Text() const { return text_; }

private:
    class Session;
    friend class Session;

    void Begin();
    void HandleStart(const char* name, const char** attributes);
    void HandleEnd(const char* name);
    void HandleText(const char* data, int length);

    std::vector<std::string> stack_;
    std::string text_;
    std::string status_;
};

}  // namespace quorvalib::xml
