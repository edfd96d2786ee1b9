#include "quorvalib/files/Astring.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(Astring, InvalidUtf8IsReadAsLatin1) {
    const Astring text("\x63\x61\x66\xE9");
    EXPECT_EQ(text.Length(), 4u);
    EXPECT_EQ(text.str(), "\x63\x61\x66\xC3\xA9");
    // Appending keeps the rule per part: valid UTF-8 stays, a Latin-1 part is converted.
    Astring mixed("\xC3\xA9");
    mixed.Append("\xFF");
    EXPECT_EQ(mixed.str(), "\xC3\xA9\xC3\xBF");
    EXPECT_EQ(mixed.Length(), 2u);
    // Overlong and surrogate encodings are not UTF-8 either.
    EXPECT_EQ(Astring("\xC0\xAF").str(), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(Astring("\xED\xA0\x80").Length(), 3u);
}

TEST(Astring, Utf16FormHasSurrogatePairsAndIsCachedUntilChanged) {
    Astring text("x\xF0\x9F\x98\x80");
    EXPECT_EQ(text.Length(), 2u);
    const std::u16string& wide = text.WideString();
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[1], 0xD83D);
    EXPECT_EQ(wide[2], 0xDE00);
    EXPECT_EQ(Astring(wide), text);
    const char16_t* first = text.Wide();
    EXPECT_EQ(text.Wide(), first);
    text += "y";
    EXPECT_EQ(std::u16string(text.Wide()), u"x\U0001F600y");
    EXPECT_EQ(Astring().Wide(), nullptr);
}

TEST(Astring, NoSizeLimit) {
    const std::string big(200000, 'a');
    Astring text(big);
    text += "\xC3\xA9";
    EXPECT_EQ(text.Length(), 200001u);
    EXPECT_EQ(text.WideString().size(), 200001u);
}

TEST(Astring, CharacterPositionsWalkCodePoints) {
    const Astring text("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");  // a é 中 😀 z
    EXPECT_EQ(text.Length(), 5u);
    EXPECT_EQ(text.ByteOffset(0), 0u);
    EXPECT_EQ(text.ByteOffset(2), 3u);
    EXPECT_EQ(text.ByteOffset(4), 10u);
    EXPECT_EQ(text.ByteOffset(99), text.Size());
    EXPECT_EQ(text.Substring(1, 2), Astring("\xC3\xA9\xE4\xB8\xAD"));
    EXPECT_EQ(text.Substring(4), Astring("z"));
    EXPECT_EQ(text.Find("z"), 4u);
    EXPECT_EQ(text.Find("q"), Astring::npos);
}

TEST(Astring, CaseMapping) {
    EXPECT_EQ(Astring("P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD").ToUpper(),
              Astring("P\xC5\x98\xC3\x8DLI\xC5\xA0 \xC5\xBDLU\xC5\xA4OU\xC4\x8CK\xC3\x9D"));
    EXPECT_EQ(Astring("\xD0\x96" "Abc").ToLower(), Astring("\xD0\xB6" "abc"));
    EXPECT_TRUE(Astring("Console").EqualsNoCase("CONSOLE"));
    EXPECT_FALSE(Astring("Console").EqualsNoCase("Consoles"));
}

TEST(Astring, Formatting) {
    Astring text("n=");
    text.AppendInt(-42).Append(" r=").AppendReal(3.14159, 2).Append(" ").AppendReal(1.0, 40);
    EXPECT_EQ(text, "n=-42 r=3.14 1.000000000000000");
    EXPECT_EQ(Astring::Format("%s/%s.ini", Astring("/opt"), std::string("tov")), "/opt/tov.ini");
    std::ostringstream out;
    out << Astring("caf\xE9");
    EXPECT_EQ(out.str(), "caf\xC3\xA9");
}

TEST(Astring, PathOperations) {
    struct Case {
        const char* path;
        const char* directory;
        const char* file;
        const char* stripped;
    };
    const Case cases[] = {
        {"C:/a/b.exe", "C:/a", "b.exe", "C:/a/b"},
        {"C:/b.exe", "C:/", "b.exe", "C:/b"},
        {"C:/", "C:/", "C:", "C:/"},
        {"C:/a/", "C:/", "a", "C:/a/"},
        {"/usr/bin/tov", "/usr/bin", "tov", "/usr/bin/tov"},
        {"/tov", "/", "tov", "/tov"},
        {"/", "/", "/", "/"},
        {"dir.d/name", "dir.d/", "name", "dir.d/name"},
        {"a.b", "", "a.b", "a"},
        {"ab", "", "ab", "ab"},
    };
    for (const Case& c : cases) {
        const Astring path(c.path);
        EXPECT_EQ(path.DirectoryPart(), c.directory) << c.path;
        EXPECT_EQ(path.FilePart(), c.file) << c.path;
        Astring stripped = path;
        EXPECT_EQ(stripped.StripExtension(), c.stripped) << c.path;
    }
    Astring joined;
    joined.AppendPath("a");
    EXPECT_EQ(joined, "a");
    joined.AppendPath("b");
    EXPECT_EQ(joined, "a/b");
    Astring rooted("/");
    EXPECT_EQ(rooted.AppendPath("x"), "/x");
    Astring windows("C:\\Program Files\\tov.exe");
    EXPECT_EQ(windows.ToForwardSlashes(), "C:/Program Files/tov.exe");
}

TEST(Astring, WorksWithStdString) {
    const std::string name = "settings";
    Astring path = Astring("/etc") + "/" + name;
    EXPECT_EQ(path, "/etc/settings");
    EXPECT_EQ(path, std::string("/etc/settings"));
    const std::string back = path.str();
    EXPECT_EQ(back, "/etc/settings");
    std::string_view view = path;
    EXPECT_EQ(view, "/etc/settings");
    EXPECT_STREQ(Astring().c_str(), "");
    Astring self("ab");
    self += self;
    EXPECT_EQ(self, "abab");
}
