#include "quorvalib/xml/XmlParserBase.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <expat.h>

#include "common/debug/Log.h"

TOV_DEFINE_LOG_CHANNEL(XmlParserBase);

namespace quorvalib::xml {

// One expat parser for one document; handlers run on the calling thread only.
class XmlParserBase::Session {
public:
    explicit Session(XmlParserBase& owner) : owner_(owner), parser_(XML_ParserCreate(nullptr)) {
        if (!parser_) {
            return;
        }
        XML_SetUserData(parser_.get(), this);
        XML_SetElementHandler(parser_.get(), &Session::Start, &Session::End);
        XML_SetCharacterDataHandler(parser_.get(), &Session::Characters);
    }

    bool Created() const { return parser_ != nullptr; }

    // False once expat rejected the input or a handler failed; Error() then says why.
    bool Feed(const char* data, std::size_t length, bool final) {
        if (XML_Parse(parser_.get(), data, static_cast<int>(length), final ? XML_TRUE : XML_FALSE)
            == XML_STATUS_OK) {
            return true;
        }
        if (handlerError_.empty()) {
            const XML_Error code = XML_GetErrorCode(parser_.get());
            error_ = std::string(XML_ErrorString(code)) + " at line " +
                     std::to_string(XML_GetCurrentLineNumber(parser_.get())) + ", column " +
                     std::to_string(XML_GetCurrentColumnNumber(parser_.get()));
        } else {
            error_ = handlerError_;
        }
        return false;
    }

    const std::string& Error() const { return error_; }

private:
    struct ParserFree {
        void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
    };

    // Nothing may unwind through expat's C frames: a throwing handler stops the parse.
    template <typename Call>
    static void Guarded(void* userData, Call&& call) {
        auto* session = static_cast<Session*>(userData);
        if (!session->handlerError_.empty()) {
            return;  // expat may still report the rest of the current token
        }
        try {
            call(session->owner_);
        } catch (const std::exception& e) {
            session->handlerError_ = std::string("handler failed: ") + e.what();
            XML_StopParser(session->parser_.get(), XML_FALSE);
        } catch (...) {
            session->handlerError_ = "handler failed";
            XML_StopParser(session->parser_.get(), XML_FALSE);
        }
    }

    static void XMLCALL Start(void* userData, const XML_Char* name, const XML_Char** attributes) {
        Guarded(userData, [&](XmlParserBase& owner) { owner.HandleStart(name, attributes); });
    }
    static void XMLCALL End(void* userData, const XML_Char* name) {
        Guarded(userData, [&](XmlParserBase& owner) { owner.HandleEnd(name); });
    }
    static void XMLCALL Characters(void* userData, const XML_Char* data, int length) {
        Guarded(userData, [&](XmlParserBase& owner) { owner.HandleText(data, length); });
    }

    XmlParserBase& owner_;
    std::unique_ptr<XML_ParserStruct, ParserFree> parser_;
    std::string error_;
    std::string handlerError_;
};

namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void XmlParserBase::Begin() {
    stack_.clear();
    text_.clear();
    status_.clear();
    OnParseBegin();
}

bool XmlParserBase::ParseFile(const std::string& path) {
    Begin();
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        status_ = std::string("cannot open file: ") + std::strerror(errno);
        TOV_LOG_ERROR(XmlParserBase, "Failed to open XML file '%s': %s", path, status_);
        return false;
    }
    Session session(*this);
    if (!session.Created()) {
        status_ = "cannot create the XML parser";
        TOV_LOG_ERROR(XmlParserBase, "Failed to create the XML parser for '%s'.", path);
        return false;
    }
    char chunk[kChunkSize];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        if (got < sizeof chunk && std::ferror(file.get())) {
            status_ = "read error";
            TOV_LOG_ERROR(XmlParserBase, "Failed to read XML file '%s'.", path);
            return false;
        }
        const bool final = got < sizeof chunk;
        if (!session.Feed(chunk, got, final)) {
            status_ = session.Error();
            TOV_LOG_ERROR(XmlParserBase, "XML file '%s' is not well formed: %s", path, status_);
            return false;
        }
        if (final) {
            break;
        }
    }
    status_ = "OK";
    return true;
}

bool XmlParserBase::ParseBuffer(std::string_view document) {
    Begin();
    Session session(*this);
    if (!session.Created()) {
        status_ = "cannot create the XML parser";
        TOV_LOG_ERROR(XmlParserBase, "Failed to create the XML parser.");
        return false;
    }
    std::size_t offset = 0;
    for (;;) {
        const std::size_t length = std::min(kChunkSize, document.size() - offset);
        const bool final = offset + length == document.size();
        if (!session.Feed(document.data() + offset, length, final)) {
            status_ = session.Error();
            TOV_LOG_ERROR(XmlParserBase, "XML document is not well formed: %s", status_);
            return false;
        }
        offset += length;
        if (final) {
            break;
        }
    }
    status_ = "OK";
    return true;
}

const char* XmlParserBase::FindAttribute(Attributes attributes, std::string_view name) {
    if (!attributes) {
        return nullptr;
    }
    for (; attributes[0] && attributes[1]; attributes += 2) {
        if (name == attributes[0]) {
            return attributes[1];
        }
    }
    return nullptr;
}

void XmlParserBase::HandleStart(const char* name, const char** attributes) {
    stack_.emplace_back(name);
    text_.clear();
    OnElementStart(stack_.back(), attributes);
}

void XmlParserBase::HandleEnd(const char* name) {
    // Expat guarantees the name matches the top of the stack for a well-formed document.
    static_cast<void>(name);
    if (stack_.empty()) {
        return;
    }
    OnElementEnd(stack_.back());
    stack_.pop_back();
    text_.clear();
}

void XmlParserBase::HandleText(const char* data, int length) {
    text_.append(data, static_cast<std::size_t>(length));
}

}  // namespace quorvalib::xml
