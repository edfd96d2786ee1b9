#include "tools/tovctl/PackageSelection.h"

#include <gtest/gtest.h>

namespace tovctl {
namespace {

using updaterlib::kOperationInstall;
using updaterlib::kOperationUninstall;
using updaterlib::kStatusAvailable;
using updaterlib::kStatusInstalled;
using updaterlib::kStatusPrepared;

PackageRow Row(int32_t id, const char* name, const char* version, int32_t status,
               bool mandatory = false, bool outdated = false) {
    PackageRow row;
    row.id = id;
    row.name = name;
    row.version = version;
    row.status = status;
    row.mandatory = mandatory;
    row.outdated = outdated;
    return row;
}

std::string Orders(const Selection& selection) {
    std::string text;
    for (const auto& order : selection.orders) {
        text += std::to_string(order.id) + (order.operation == kOperationInstall ? "+ " : "- ");
    }
    return text;
}

TEST(PackageSelection, CompareVersions) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"1.0", "1.0", 0},   {"1.0", "1", 0},      {"1.10", "1.9", 1}, {"2", "10", -1},
        {"1.0.1", "1.0", 1}, {"1.0a", "1.0b", -1}, {"010", "9", 1},    {"", "0", 0},
    };
    for (const auto& [a, b, order] : cases) {
        EXPECT_EQ(CompareVersions(a, b), order) << a << " vs " << b;
        EXPECT_EQ(CompareVersions(b, a), -order) << b << " vs " << a;
    }
}

TEST(PackageSelection, InstallPicksVersionsAddsMandatoryAndReplacesOthers) {
    const std::vector<PackageRow> rows = {
        Row(1, "app", "1.0", kStatusAvailable, true),
        Row(2, "map", "1.0", kStatusInstalled, false, true),
        Row(3, "map", "1.10", kStatusAvailable),
        Row(4, "map", "1.9", kStatusAvailable),
        Row(5, "voice", "1.0", kStatusInstalled),
        Row(6, "skin", "2.0", kStatusPrepared),
        Row(7, "app", "0.9", kStatusAvailable, true, true),
    };
    struct Case {
        std::vector<std::string> specs;
        std::string orders;
    };
    const Case cases[] = {
        {{"map"}, "3+ 2- 1+ "},      // highest offered, old one replaced, mandatory added
        {{"map@1.9"}, "4+ 2- 1+ "},  // the named version
        {{"voice"}, "1+ "},          // already installed: nothing but the mandatory one
        {{"skin", "app"}, "6+ 1+ "},
        {{"app@0.9"}, "7+ "},        // an explicit old version of a mandatory package
    };
    for (const Case& c : cases) {
        Selection selection;
        std::string error;
        ASSERT_TRUE(SelectInstall(rows, c.specs, selection, error)) << error;
        EXPECT_EQ(Orders(selection), c.orders) << ::testing::PrintToString(c.specs);
    }

    // A mandatory package already installed at its highest version adds nothing.
    std::vector<PackageRow> updated = rows;
    updated[0].status = kStatusInstalled;
    Selection selection;
    std::string error;
    ASSERT_TRUE(SelectInstall(updated, {"map"}, selection, error));
    EXPECT_EQ(Orders(selection), "3+ 2- ");
    EXPECT_EQ(selection.notes, (std::vector<std::string>{"map 1.0 is replaced by 1.10"}));
}

TEST(PackageSelection, InstallFailures) {
    const std::vector<PackageRow> rows = {Row(1, "map", "1.0", kStatusAvailable),
                                          Row(2, "old", "1.0", kStatusAvailable, false, true)};
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"nothing"}, "no package named 'nothing'"},
        {{"map@2.0"}, "has no version 2.0 (known: 1.0)"},
        {{"map", "map@1.0"}, "named twice"},
        {{"old"}, "no package named 'old'"},  // only an outdated version is left
    };
    for (const auto& [specs, expected] : cases) {
        Selection selection;
        std::string error;
        EXPECT_FALSE(SelectInstall(rows, specs, selection, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

TEST(PackageSelection, RemoveTakesInstalledAndPreparedVersions) {
    const std::vector<PackageRow> rows = {
        Row(1, "map", "1.0", kStatusInstalled), Row(2, "map", "2.0", kStatusPrepared),
        Row(3, "map", "3.0", kStatusAvailable), Row(4, "voice", "1.0", kStatusAvailable)};
    Selection selection;
    std::string error;
    ASSERT_TRUE(SelectRemove(rows, {"map"}, selection, error));
    EXPECT_EQ(Orders(selection), "1- 2- ");
    EXPECT_FALSE(SelectRemove(rows, {"map", "voice"}, selection, error));
    EXPECT_NE(error.find("'voice' is not installed"), std::string::npos);
}

}  // namespace
}  // namespace tovctl
