#include "quorvalib/files/Aini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "quorvalib/files/TestTempFolder.h"

namespace {

std::string Value(const Aini& ini, const char* section, const char* key) {
    const AiniItem* item = ini.Find(section, key);
    return item ? item->Value() : "<absent>";
}

TEST(AiniHash, IsCrc32OfAsciiLowerCase) {
    EXPECT_EQ(AiniHash(""), 0u);
    EXPECT_EQ(AiniHash("123456789"), 0xCBF43926u);  // the CRC-32 check value
    EXPECT_EQ(AiniHash("WIDTH"), AiniHash("width"));
    EXPECT_NE(AiniHash("\xC3\x89"), AiniHash("\xC3\xA9"));  // only A-Z are folded
}

TEST(Aini, ReadingRules) {
    Aini ini(Astring("unused.ini"));
    ini.LoadFromText(
        "\xEF\xBB\xBF; leading comment\r\n"
        "top = level\r\n"
        "\r\n"
        "[Console]   ; the console\r\n"
        "  Width\t=\t80\r\n"
        "quoted = \" spaced;value \" ; after quote\r\n"
        "single='it;s'\n"
        "plain = a;b\n"
        "spaced = a ;b\n"
        "trailing = value   \t\n"
        "empty =\n"
        "doubled == x\n"
        "bare\n"
        ";\n"
        "[Other]\n"
        "last = no newline");
    EXPECT_EQ(Value(ini, "", "top"), "level");
    EXPECT_EQ(Value(ini, "console", "WIDTH"), "80");
    EXPECT_EQ(Value(ini, "CONSOLE", "width"), "80");
    EXPECT_EQ(Value(ini, "Console", "quoted"), " spaced;value ");
    EXPECT_STREQ(ini.Find("Console", "quoted")->comment, " after quote");
    EXPECT_EQ(Value(ini, "Console", "single"), "it;s");
    EXPECT_EQ(Value(ini, "Console", "plain"), "a;b");
    EXPECT_EQ(Value(ini, "Console", "spaced"), "a");
    EXPECT_STREQ(ini.Find("Console", "spaced")->comment, "b");
    EXPECT_EQ(Value(ini, "Console", "trailing"), "value");
    EXPECT_EQ(ini.Find("Console", "empty")->value, nullptr);
    EXPECT_EQ(Value(ini, "Console", "doubled"), "x");
    EXPECT_TRUE(ini.Find("Console", "bare")->IsKey());
    EXPECT_EQ(Value(ini, "Other", "last"), "no newline");
    EXPECT_EQ(Value(ini, "Other", "width"), "<absent>");

    // Items in file order; blank lines and the empty comment make none.
    ASSERT_EQ(ini.ItemCount(), 14u);
    EXPECT_TRUE(ini.Item(0).IsComment());
    EXPECT_STREQ(ini.Item(0).comment, " leading comment");
    EXPECT_TRUE(ini.Item(2).IsHeader());
    EXPECT_STREQ(ini.Item(2).section, "Console");
    EXPECT_STREQ(ini.Item(2).comment, " the console");
    EXPECT_STREQ(ini.Item(3).section, "Console");
    EXPECT_FALSE(ini.IsModified());
}

TEST(Aini, LengthLimitsKeepThePrefix) {
    const std::string longKey(600, 'k');
    const std::string longValue(3000, 'v');
    const std::string longComment(1500, 'c');
    Aini ini(Astring("unused.ini"));
    ini.LoadFromText("[S]\n" + longKey + " = " + longValue + "\n;" + longComment + "\nnext = 1\n");
    const AiniItem* item = ini.Find("S", longKey.substr(0, Aini::kMaxKey));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(std::string(item->value), longValue.substr(0, Aini::kMaxValue));
    EXPECT_EQ(std::string(ini.Item(2).comment), longComment.substr(0, Aini::kMaxComment));
    EXPECT_EQ(Value(ini, "S", "next"), "1");
}

TEST(Aini, SaveWritesOnlyWhenModifiedInTheNormalisedLayout) {
    TestTempFolder folder;
    const std::string path = folder / "settings.ini";
    const std::string original = "; about\n[A]  ;head\nx=1\ny = 2 ; two\n[B]\nz=\"q\"\n";
    WriteFileContent(path, original);
    Aini ini{Astring(path)};
    ASSERT_TRUE(ini.Load());
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);  // a write attempt would fail now
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFileContent(path), original);
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);

    ini.SetValue("a", "X", "10");
    EXPECT_TRUE(ini.IsModified());
    ASSERT_TRUE(ini.Save());
    EXPECT_FALSE(ini.IsModified());
    EXPECT_EQ(ReadFileContent(path),
              "; about\r\n"
              "\r\n[A]\t\t;head\r\n"
              "x\t\t=\t10\r\n"
              "y\t\t=\t2\t\t; two\r\n"
              "\r\n[B]\r\n"
              "z\t\t=\tq\r\n");
    // Shorter content cuts the file; an emptied value keeps its comment apart.
    ini.SetValue("A", "y", "");
    ASSERT_TRUE(ini.Save());
    EXPECT_NE(ReadFileContent(path).find("y\t\t=\t\"\"\t\t; two\r\n"), std::string::npos);
    Aini again{Astring(path)};
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(Value(again, "A", "x"), "10");
    EXPECT_EQ(Value(again, "A", "y"), "");
    EXPECT_STREQ(again.Find("A", "y")->comment, " two");
    EXPECT_EQ(Value(again, "B", "z"), "q");
    EXPECT_EQ(again.SaveText(), ini.SaveText());
}

TEST(Aini, RoundTripKeepsValuesThatNeedQuotes) {
    TestTempFolder folder;
    const std::string path = folder / "quotes.ini";
    Aini ini{Astring(path)};
    const char* values[] = {" lead", "trail ", "a ;b", "\"q\" x", "it's \"both\"", "=x", ";c"};
    for (size_t i = 0; i < std::size(values); ++i) {
        ini.SetValue("Q", "k" + std::to_string(i), values[i]);
    }
    ini.SetValue("Q", "broken", "line\nbreak");
    ASSERT_TRUE(ini.Save());
    Aini back{Astring(path)};
    ASSERT_TRUE(back.Load());
    for (size_t i = 0; i < std::size(values); ++i) {
        const std::string key = "k" + std::to_string(i);
        if (std::string_view(values[i]) == "it's \"both\"") continue;  // no quoting can hold both
        EXPECT_EQ(Value(back, "Q", key.c_str()), values[i]) << key;
    }
    EXPECT_EQ(Value(back, "Q", "broken"), "line break");
    EXPECT_EQ(back.ItemCount(), ini.ItemCount());
}

TEST(Aini, NewKeyLandsAfterTheLastLineOfItsSection) {
    Aini ini(Astring("unused.ini"));
    ini.LoadFromText("lone = 0\n;top\n[A]\na1 = 1\n; about B\n[B]\nb1 = 1\n[A]\na2 = 2\n[C]\nc1=1\n");
    ini.AddItem("B", "b2", "2");
    ini.AddItem("a", "a3", "3");  // the section repeats: after its last line
    ini.AddItem("New", "n1", "1");
    ini.AddItem("", "free", "f");  // no section: with the lines before the first header
    std::vector<std::string> keys;
    for (size_t i = 0; i < ini.ItemCount(); ++i) {
        const AiniItem& item = ini.Item(i);
        keys.push_back(item.IsKey() ? item.key : item.IsHeader() ? "[" + std::string(item.section) + "]" : ";");
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"lone", "free", ";", "[A]", "a1", ";", "[B]", "b1",
                                               "b2", "[A]", "a2", "a3", "[C]", "c1", "[New]",
                                               "n1"}));
    EXPECT_STREQ(ini.Find("B", "b2")->section, "B");
    EXPECT_EQ(Value(ini, "new", "N1"), "1");
    EXPECT_TRUE(ini.IsModified());
    // Reloading the saved text finds every key in the same section.
    Aini back(Astring("unused.ini"));
    back.LoadFromText(ini.SaveText());
    EXPECT_EQ(Value(back, "", "free"), "f");
    EXPECT_EQ(Value(back, "A", "a3"), "3");
    EXPECT_EQ(Value(back, "B", "b2"), "2");
}

TEST(Aini, TypedReadsWriteTheirDefaults) {
    Aini ini(Astring("unused.ini"));
    ini.LoadFromText("[T]\nn = 42abc\nneg = -7\nnone = x\nb1 = Yes\nb2 = on\nb3 = TRUE\nb4 = 1\nb5 = no\n");
    EXPECT_EQ(ini.ReadInt("T", "n", 5), 42);
    EXPECT_EQ(ini.ReadInt("T", "neg", 5), -7);
    EXPECT_EQ(ini.ReadInt("T", "none", 5), 0);
    for (const char* key : {"b1", "b2", "b3", "b4"}) EXPECT_TRUE(ini.ReadBool("T", key, false)) << key;
    EXPECT_FALSE(ini.ReadBool("T", "b5", true));
    EXPECT_FALSE(ini.IsModified());

    EXPECT_EQ(ini.ReadInt("T", "missing", -12), -12);
    EXPECT_EQ(Value(ini, "T", "missing"), "-12");
    EXPECT_TRUE(ini.ReadBool("T", "flag", true));
    EXPECT_EQ(Value(ini, "T", "flag"), "1");
    ini.SetBool("T", "flag", false);
    EXPECT_EQ(Value(ini, "T", "flag"), "0");
    EXPECT_TRUE(ini.IsModified());
    EXPECT_EQ(ini.ReadString("T", "absent", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("T", "n"), "42abc");
}

TEST(Aini, MissingFileFailsAndLeavesItEmpty) {
    TestTempFolder folder;
    Aini ini{Astring(folder / "missing.ini")};
    ini.File().SetLogErrors(false);
    EXPECT_FALSE(ini.Load());
    EXPECT_EQ(ini.LastError(), Afile::kErrorPlatform);
    EXPECT_EQ(ini.ItemCount(), 0u);
    EXPECT_EQ(ini.ReadInt("S", "k", 3), 3);
    ASSERT_TRUE(ini.Save());  // the default read creates the file
    EXPECT_EQ(ReadFileContent(folder / "missing.ini"), "\r\n[S]\r\nk\t\t=\t3\r\n");

    Aini nowhere{Astring(folder / "no/such/dir.ini")};
    nowhere.File().SetLogErrors(false);
    nowhere.SetValue("S", "k", "v");
    EXPECT_FALSE(nowhere.Save());
    EXPECT_TRUE(nowhere.IsModified());  // still pending
}

TEST(Aini, DuplicateKeyFindsTheFirst) {
    Aini ini(Astring("unused.ini"));
    ini.LoadFromText("[S]\nk = first\nK = second\n");
    EXPECT_EQ(Value(ini, "S", "k"), "first");
    ini.SetValue("S", "k", "changed");
    EXPECT_EQ(Value(ini, "S", "k"), "changed");
    EXPECT_STREQ(ini.Item(2).value, "second");
}

}  // namespace
