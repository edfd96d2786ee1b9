#include "quorvalib/localization/LocaleManager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "quorvalib/files/TestTempFolder.h"
#include "quorvalib/localization/LanguageTable.h"

namespace quorvalib::localization {
namespace {

std::string Document(const std::string& code, const std::string& strings) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quorva><languagecode>" + code +
           "</languagecode><translations>" + strings + "</translations></quorva>\n";
}

// A folder with "locales/<name>" files of the given texts.
class LocalesFolder {
public:
    void Add(const std::string& name, const std::string& text) {
        std::filesystem::create_directories(folder_ / "locales");
        std::ofstream(folder_ / ("locales/" + name)) << text;
    }
    Astring Path() const { return Astring(folder_.Path()); }

private:
    TestTempFolder folder_;
};

TEST(LocaleManagerTest, FallsBackFromTheLanguageToEnglishThenToTheFirstTable) {
    LocalesFolder folder;
    folder.Add("en.xml", Document("1033", "<string code=\"BOTH\">english both</string>"
                                          "<string code=\"EN\">english only</string>"));
    folder.Add("cs.xml", Document("1029", "<string code=\"BOTH\">česky obojí</string>"));
    folder.Add("de.xml", Document("1031", "<string code=\"DE\">nur deutsch</string>"));
    folder.Add("tr.xml", Document("1055", "<string code=\"DE\">türkçe</string>"
                                          "<string code=\"TR\">yalnız türkçe</string>"));
    LocaleManager locales(folder.Path());

    ASSERT_EQ(locales.SetLanguage(1029), 1029u);
    EXPECT_EQ(locales.GetTextUtf8("BOTH"), "česky obojí");
    EXPECT_EQ(locales.GetTextUtf8("EN"), "english only");
    // Third step: the lowest LCID holding the key (German before Turkish).
    EXPECT_EQ(locales.GetTextUtf8("DE"), "nur deutsch");
    EXPECT_EQ(locales.GetTextUtf8("TR"), "yalnız türkçe");
    EXPECT_TRUE(locales.GetTextUtf8("NOWHERE").IsEmpty());
    EXPECT_EQ(locales.GetText("BOTH"), u"česky obojí");
    EXPECT_TRUE(locales.GetText("NOWHERE").empty());
    // Keys are compared byte by byte.
    EXPECT_TRUE(locales.GetTextUtf8("both").IsEmpty());
}

TEST(LocaleManagerTest, ALanguageWithoutFileFallsBackToEnglish) {
    LocalesFolder folder;
    folder.Add("en.xml", Document("1033", "<string code=\"K\">english</string>"));
    LocaleManager locales(folder.Path());

    EXPECT_EQ(locales.SetLanguage(1029), 1033u);
    EXPECT_EQ(locales.Lcid(), 1033u);
    EXPECT_EQ(locales.GetLanguageName(), "english");
    EXPECT_EQ(locales.GetLanguageCode(), "1033");
    EXPECT_EQ(locales.CodePage(), 1250u);
    EXPECT_EQ(locales.GetTextUtf8("K"), "english");
}

TEST(LocaleManagerTest, NoFilesAtAllGiveEmptyTextsAndEnglish) {
    LocalesFolder folder;  // no "locales" folder
    LocaleManager locales(folder.Path());
    EXPECT_TRUE(locales.GetLanguageCode().empty());
    EXPECT_TRUE(locales.GetLanguageName().empty());
    EXPECT_EQ(locales.SetLanguage(1031), 1033u);
    EXPECT_TRUE(locales.GetTextUtf8("ANY").IsEmpty());
    EXPECT_TRUE(locales.HasLanguage(1033));  // made empty by the fallback
}

TEST(LocaleManagerTest, LanguageTableNamesCodePagesAndCodes) {
    struct Case {
        uint32_t lcid;
        const char* name;
        uint32_t codePage;
        const char* code;
    };
    const std::vector<Case> cases = {
        {1026, "russian", 1251, "1026"}, {1029, "czech", 1250, "1029"},
        {1031, "german", 1252, "1031"},  {1033, "english", 1250, "1033"},
        {1038, "hungarian", 1250, "1038"}, {1045, "polish", 1250, "1045"},
        {1049, "russian", 1251, "1049"}, {1051, "slovak", 1250, "1051"},
        {1055, "turkish", 1254, "1055"},
        // Loaded but unknown to the table: no name, no code page, sent as English.
        {1040, "", 0, "1033"},
    };
    LocalesFolder folder;
    for (const Case& c : cases) {
        folder.Add(std::to_string(c.lcid) + ".xml", Document(std::to_string(c.lcid), ""));
    }
    LocaleManager locales(folder.Path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lcid);
        EXPECT_EQ(locales.SetLanguage(c.lcid), c.lcid);
        EXPECT_EQ(locales.GetLanguageName(), c.name);
        EXPECT_EQ(locales.CodePage(), c.codePage);
        EXPECT_EQ(locales.GetLanguageCode(), c.code);
    }
}

TEST(LocaleManagerTest, LocaleNameIsAnInstalledLocaleOrC) {
    LocalesFolder folder;
    folder.Add("cs.xml", Document("1029", ""));
    folder.Add("it.xml", Document("1040", ""));
    LocaleManager locales(folder.Path());

    locales.SetLanguage(1029);
    const std::string czech = locales.GetLocaleName();
    EXPECT_EQ(czech, InstalledLocaleOr("cs_CZ.UTF-8"));
    EXPECT_TRUE(czech == "cs_CZ.UTF-8" || czech == "C");
    locale_t made = newlocale(LC_COLLATE_MASK, czech.c_str(), nullptr);
    EXPECT_NE(made, nullptr);
    if (made) freelocale(made);

    locales.SetLanguage(1040);
    EXPECT_EQ(locales.GetLocaleName(), "C");
    EXPECT_STREQ(InstalledLocaleOr("xx_NOWHERE.UTF-8"), "C");
}

TEST(LocaleManagerTest, PlaceholderExpansion) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"$W setup", "Quorva Wizard setup"},
        {"$A/$B/$D", "Quorva_GPS_Navigation/Quorva GPS Navigation/Quorva GPS Navigation"},
        {"$W and $B $", "Quorva Wizard and Quorva GPS Navigation $"},
        {"$x stays, $$ stays", "$x stays, $$ stays"},
        {"$", "$"},
        {"no placeholders", "no placeholders"},
        {"", ""},
        {"$w is lower case", "$w is lower case"},
    };
    for (const auto& [text, expanded] : cases) {
        EXPECT_EQ(LocaleManager::ExpandPlaceholders(text), expanded) << text;
    }
    // The expansion applies to what a file stores.
    LocalesFolder folder;
    folder.Add("en.xml", Document("1033", "<string code=\"T\">$W setup</string>"));
    LocaleManager locales(folder.Path());
    locales.SetLanguage(1033);
    EXPECT_EQ(locales.GetTextUtf8("T"), "Quorva Wizard setup");
}

TEST(LocaleManagerTest, ReadingRules) {
    LocalesFolder folder;
    folder.Add("a.xml", Document("1029", "<string code=\"K\">first</string>"
                                         "<string code=\"ONLY_A\">a</string>"));
    folder.Add("b.xml", Document("1029", "<string code=\"K\">second</string>"
                                         "<string>no code</string>"
                                         "<string code=\"EMPTY\"/>"));
    folder.Add("broken.xml", "<quorva><languagecode>1031</languagecode><translations>");
    folder.Add("wrongroot.xml",
               "<other><languagecode>1031</languagecode><translations>"
               "<string code=\"G\">g</string></translations></other>");
    folder.Add("nocode.xml", "<quorva><translations><string code=\"G\">g</string>"
                             "</translations></quorva>");
    folder.Add("zero.xml", Document("czech", "<string code=\"G\">g</string>"));
    folder.Add("notxml.txt", Document("1031", "<string code=\"G\">g</string>"));
    LocaleManager locales(folder.Path());

    EXPECT_TRUE(locales.HasLanguage(1029));
    EXPECT_FALSE(locales.HasLanguage(1031));
    EXPECT_FALSE(locales.HasLanguage(0));
    locales.SetLanguage(1029);
    EXPECT_TRUE(locales.GetTextUtf8("G").IsEmpty());
    EXPECT_EQ(locales.GetTextUtf8("ONLY_A"), "a");
    EXPECT_EQ(locales.GetTextUtf8(""), "no code");
    EXPECT_TRUE(locales.GetTextUtf8("EMPTY").IsEmpty());
    // Same language in two files: one table, a later key replaces the earlier text.
    const std::string merged = locales.GetTextUtf8("K").str();
    EXPECT_TRUE(merged == "first" || merged == "second") << merged;
}

TEST(LocaleManagerTest, SingletonIsTheNewestManager) {
    LocalesFolder folder;
    LocaleManager first(folder.Path());
    EXPECT_EQ(LocaleManager::Instance(), &first);
    {
        LocaleManager second(folder.Path());
        EXPECT_EQ(LocaleManager::Instance(), &second);
    }
    EXPECT_EQ(LocaleManager::Instance(), nullptr);
}

// The translation files the build places beside this test program.
TEST(LocaleManagerTest, ShippedEnglishAndCzechFilesHoldTheSameKeys) {
    LocaleManager locales;  // program folder
    ASSERT_TRUE(locales.HasLanguage(1033));
    ASSERT_TRUE(locales.HasLanguage(1029));
    const std::vector<std::string> keys = {
        "MB_CAP_ERROR", "MB_CAP_TOV", "MB_TEXT_Q_INSTEND", "MB_TEXT_NOSPACE",
        "DLG_TI_SYNCING", "DLG_TI_SYNCERR", "DLG_TI_BTN_INSTALL", "DLG_DOWN_TEXT",
        "BTN_CANCEL", "DLG_IS3_TOTAL", "DLG_IFAIL_1", "TAB_ISUCC_1",
    };
    for (uint32_t lcid : {1033u, 1029u}) {
        locales.SetLanguage(lcid);
        for (const std::string& key : keys) {
            EXPECT_FALSE(locales.GetTextUtf8(key).IsEmpty()) << lcid << " " << key;
        }
    }
    EXPECT_EQ(locales.Keys(1033), locales.Keys(1029));
    locales.SetLanguage(1029);
    EXPECT_NE(locales.GetTextUtf8("BTN_CANCEL"), "Cancel");
    EXPECT_EQ(locales.GetTextUtf8("BTN_CANCEL"), "Storno");
}

}  // namespace
}  // namespace quorvalib::localization
