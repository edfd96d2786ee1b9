#include "quorvalib/sqlite/CollationLocale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/sqlite/Command.h"
#include "quorvalib/sqlite/TestSupport_test.h"

namespace quorvalib::sqlite {
namespace {

using common::debug::testing::LogRecorder;
using testing::RecordingConnection;
using testing::TempDir;

// Czech puts "č" right after "c" and "ch" after "h"; byte order puts both elsewhere.
const std::vector<std::string> kNames = {"hrad", "chata", "čaj", "cukr",
                                         "dům",  "Žirafa", "zebra"};
const std::vector<std::string> kCzechOrder = {"cukr", "čaj", "dům", "hrad", "chata", "zebra",
                                              "Žirafa"};
const std::vector<std::string> kByteOrder = {"chata", "cukr", "dům", "hrad", "zebra", "čaj",
                                             "Žirafa"};

class WcscollTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(connection.Open(dir.File("db")));
        ASSERT_TRUE(connection.CreateCollation(&locale));
        ASSERT_TRUE(connection.ExecuteNonQuery("CREATE TABLE t (name TEXT COLLATE WCSCOLL)"));
        Command insert(connection);
        ASSERT_TRUE(insert.Create("INSERT INTO t (name) VALUES (:name)"));
        for (const std::string& name : kNames) {
            ASSERT_TRUE(insert.Bind(name, ":name"));
            ASSERT_TRUE(insert.Execute());
        }
    }
    std::vector<std::string> Sorted() {
        Command select(connection);
        EXPECT_TRUE(select.Create("SELECT name FROM t ORDER BY name"));
        std::vector<std::string> names;
        while (select.GetRow()) {
            names.push_back(select.GetText(0));
        }
        return names;
    }
    TempDir dir;
    CollationLocale locale;
    RecordingConnection connection;
};

TEST_F(WcscollTest, CzechLocaleOrdersByCzechRules) {
    ASSERT_TRUE(locale.Set("cs_CZ.UTF-8"));
    EXPECT_EQ(Sorted(), kCzechOrder);
    // The localization's language word selects the same locale.
    ASSERT_TRUE(locale.Set("czech"));
    EXPECT_EQ(locale.Name(), "cs_CZ.UTF-8");
    EXPECT_EQ(Sorted(), kCzechOrder);
}

TEST_F(WcscollTest, NoLocaleFollowsTheCurrentLocaleWhichIsCodePointOrderInC) {
    EXPECT_EQ(locale.Get(), nullptr);
    EXPECT_EQ(Sorted(), kByteOrder);
}

TEST_F(WcscollTest, MissingLocaleFallsBackToC) {
    LogRecorder sink{"Sqlite"};
    ASSERT_TRUE(locale.Set("cs_CZ.UTF-8"));
    EXPECT_FALSE(locale.Set("xx_NOWHERE.UTF-8"));
    EXPECT_EQ(locale.Name(), "C");
    EXPECT_NE(locale.Get(), nullptr);
    EXPECT_EQ(Sorted(), kByteOrder);
    EXPECT_TRUE(sink.Has(common::debug::kLogWarning,
                         "Collation locale 'xx_NOWHERE.UTF-8' is not installed; using the C "
                         "locale."));
}

TEST(Wcscoll, ComparesByGivenLengthsAndCombinesSurrogatePairs) {
    CollationLocale c;
    ASSERT_TRUE(c.Set("C"));
    const char16_t ab[] = u"ab";
    const char16_t abc[] = u"abc";
    // Only the given bytes count: "ab" against the first two units of "abc" is equal.
    EXPECT_EQ(CompareWcscoll(&c, ab, 4, abc, 4), 0);
    EXPECT_LT(CompareWcscoll(&c, ab, 4, abc, 6), 0);
    EXPECT_GT(CompareWcscoll(nullptr, abc, 6, ab, 4), 0);
    // U+1F600 is one character above U+FFFD, not two surrogates below it.
    const char16_t emoji[] = u"\U0001F600";
    const char16_t replacement[] = u"\uFFFD";
    EXPECT_GT(CompareWcscoll(&c, emoji, 4, replacement, 2), 0);
    EXPECT_EQ(CompareWcscoll(&c, emoji, 4, emoji, 4), 0);
}

}  // namespace
}  // namespace quorvalib::sqlite
