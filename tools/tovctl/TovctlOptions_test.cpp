#include "tools/tovctl/TovctlOptions.h"

#include <gtest/gtest.h>

namespace tovctl {
namespace {

TEST(TovctlOptions, ValidCommandLines) {
    TovctlOptions options;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--data", "/d", "--server", "http://h/", "install", "a",
                                  "b@1.2"},
                                 options, error))
        << error;
    EXPECT_EQ(options.dataFolder, "/d");
    EXPECT_EQ(options.serverUrl, "http://h/");
    EXPECT_EQ(options.command, "install");
    EXPECT_EQ(options.packages, (std::vector<std::string>{"a", "b@1.2"}));

    ASSERT_TRUE(ParseCommandLine({"list", "--installed"}, options, error));
    EXPECT_TRUE(options.installed);
    ASSERT_TRUE(ParseCommandLine({"list"}, options, error));
    EXPECT_FALSE(options.installed);
    ASSERT_TRUE(ParseCommandLine({"--help", "whatever"}, options, error));
    EXPECT_TRUE(options.help);
}

TEST(TovctlOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--data"},
        {"--server", ""},
        {"--verbose", "sync"},
        {"frobnicate"},
        {"sync", "now"},
        {"status", "-v"},
        {"list", "--all"},
        {"list", "--installed", "x"},
        {"install"},
        {"install", "@1.0"},
        {"install", "map@"},
        {"install", "--data"},
        {"remove", "map@1.0"},
    };
    for (const auto& arguments : cases) {
        TovctlOptions options;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(arguments, options, error))
            << ::testing::PrintToString(arguments);
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace tovctl
