#include "quorvalib/xml/XmlParserBase.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalib::xml {
namespace {

// Records every handler call as one line: "+name a=v ... [stack]" and "-name 'text' [stack]".
class Recorder : public XmlParserBase {
public:
    std::vector<std::string> events;
    std::string throwOn;
    int begins = 0;

protected:
    void OnParseBegin() override {
        ++begins;
        events.clear();
    }
    void OnElementStart(const std::string& name, Attributes attributes) override {
        if (name == throwOn) {
            throw std::runtime_error("boom");
        }
        std::string line = "+" + name;
        for (Attributes a = attributes; a && a[0]; a += 2) {
            line += std::string(" ") + a[0] + "=" + a[1];
        }
        events.push_back(line + " " + Stack());
    }
    void OnElementEnd(const std::string& name) override {
        events.push_back("-" + name + " '" + Text() + "' " + Stack());
    }

private:
    std::string Stack() const {
        std::string s = "[";
        for (const auto& n : ElementStack()) {
            s += (s.size() > 1 ? "/" : "") + n;
        }
        return s + "]";
    }
};

class TempFile {
public:
    explicit TempFile(const std::string& content)
        : path_(std::filesystem::temp_directory_path() /
                ("xmlparser_test_" + std::to_string(::getpid()) + "_" +
                 std::to_string(counter_++) + ".xml")) {
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

TEST(XmlParserBase, ReportsStartsEndsStackAndTextBetweenTags) {
    Recorder r;
    ASSERT_TRUE(r.ParseBuffer("<?xml version=\"1.0\"?>\n"
                              "<a v=\"1\" w='x &amp; y'>head<b>in b</b>tail<c/></a>"));
    EXPECT_EQ(r.Status(), "OK");
    const std::vector<std::string> expected = {
        "+a v=1 w=x & y [a]",
        "+b [a/b]",
        "-b 'in b' [a/b]",
        "+c [a/c]",
        "-c '' [a/c]",
        "-a '' [a]",
    };
    EXPECT_EQ(r.events, expected);
}

TEST(XmlParserBase, NamesAreMatchedLiterallyWithoutNamespaceProcessing) {
    Recorder r;
    ASSERT_TRUE(r.ParseBuffer(
        "<x:root xmlns:x=\"urn:x\"><name xml:lang=\"cs\">&lt;&#x10D;&gt;</name></x:root>"));
    const std::vector<std::string> expected = {
        "+x:root xmlns:x=urn:x [x:root]",
        "+name xml:lang=cs [x:root/name]",
        "-name '<\xC4\x8D>' [x:root/name]",
        "-x:root '' [x:root]",
    };
    EXPECT_EQ(r.events, expected);
}

TEST(XmlParserBase, TextAndTagsStraddlingChunkBoundariesArriveWhole) {
    // Place a two-byte UTF-8 character and a tag across every offset around a chunk boundary.
    for (std::size_t pad = 0; pad < 4; ++pad) {
        std::string text(XmlParserBase::kChunkSize - 9 + pad, 'x');
        text += "\xC3\xA9";  // e-acute
        text += std::string(3 * XmlParserBase::kChunkSize, 'y');
        const std::string doc = "<r><t>" + text + "</t><long-element-name/></r>";
        Recorder file;
        TempFile temp(doc);
        ASSERT_TRUE(file.ParseFile(temp.Path())) << pad;
        Recorder buffer;
        ASSERT_TRUE(buffer.ParseBuffer(doc)) << pad;
        for (const Recorder* r : {&file, &buffer}) {
            ASSERT_EQ(r->events.size(), 6u);
            EXPECT_EQ(r->events[2], "-t '" + text + "' [r/t]");
            EXPECT_EQ(r->events[3], "+long-element-name [r/long-element-name]");
        }
    }
}

TEST(XmlParserBase, FileOfExactChunkMultipleIsParsed) {
    std::string doc = "<r>";
    doc += std::string(2 * XmlParserBase::kChunkSize - doc.size() - 4, 'z');
    doc += "</r>";
    ASSERT_EQ(doc.size() % XmlParserBase::kChunkSize, 0u);
    TempFile temp(doc);
    Recorder r;
    EXPECT_TRUE(r.ParseFile(temp.Path()));
    EXPECT_EQ(r.Status(), "OK");
}

TEST(XmlParserBase, MalformedDocumentsFail) {
    const std::vector<std::string> cases = {
        "",
        "   ",
        "no markup at all",
        "<a><b></a></b>",
        "<a>",
        "<a></a><b></b>",
        "<a x=\"1\" x=\"2\"/>",
        "<a>&undefined;</a>",
        "<a>\xFF\xFE</a>",
        std::string("<a>") + std::string(300, 'x') + "</a",  // truncated after several chunks
    };
    for (const auto& doc : cases) {
        Recorder fromBuffer;
        EXPECT_FALSE(fromBuffer.ParseBuffer(doc)) << doc;
        EXPECT_NE(fromBuffer.Status(), "OK") << doc;
        EXPECT_FALSE(fromBuffer.Status().empty()) << doc;
        TempFile temp(doc);
        Recorder fromFile;
        EXPECT_FALSE(fromFile.ParseFile(temp.Path())) << doc;
        EXPECT_NE(fromFile.Status(), "OK") << doc;
    }
}

TEST(XmlParserBase, UnreadableFilesFail) {
    Recorder r;
    EXPECT_FALSE(r.ParseFile("/nonexistent/dir/updates.xml"));
    EXPECT_NE(r.Status(), "OK");
    // A directory opens on Linux but cannot be read.
    EXPECT_FALSE(r.ParseFile(std::filesystem::temp_directory_path().string()));
    EXPECT_NE(r.Status(), "OK");
}

TEST(XmlParserBase, ThrowingHandlerStopsTheParseWithFailure) {
    Recorder r;
    r.throwOn = "b";
    EXPECT_FALSE(r.ParseBuffer("<a><b/><c/></a>"));
    EXPECT_NE(r.Status(), "OK");
    EXPECT_EQ(r.events, std::vector<std::string>{"+a [a]"});
}

TEST(XmlParserBase, EveryParseStartsClean) {
    Recorder r;
    EXPECT_FALSE(r.ParseBuffer("<a><b>unfinished"));
    ASSERT_TRUE(r.ParseBuffer("<c>t</c>"));
    EXPECT_EQ(r.begins, 2);
    EXPECT_EQ(r.events, (std::vector<std::string>{"+c [c]", "-c 't' [c]"}));
}

TEST(XmlParserBase, FindAttribute) {
    const char* attributes[] = {"name", "n", "xml:lang", "", nullptr};
    EXPECT_STREQ(XmlParserBase::FindAttribute(attributes, "name"), "n");
    EXPECT_STREQ(XmlParserBase::FindAttribute(attributes, "xml:lang"), "");
    EXPECT_EQ(XmlParserBase::FindAttribute(attributes, "lang"), nullptr);
    EXPECT_EQ(XmlParserBase::FindAttribute(nullptr, "name"), nullptr);
}

}  // namespace
}  // namespace quorvalib::xml
