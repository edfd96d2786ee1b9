#include "agent/CommandLine.h"

#include <gtest/gtest.h>

namespace agent {
namespace {

TEST(CommandLine, SplitsAtSpacesOutsideQuotes) {
    using Tokens = std::vector<std::u16string>;
    struct Case {
        std::u16string line;
        Tokens tokens;
    };
    const Case cases[] = {
        {u"", {u"", u"", u"", u"", u"", u""}},
        {u"GetMountPoints ", {u"GetMountPoints", u"", u"", u"", u"", u""}},
        {u"  GetVersions   a.fpak    b.TDB  ", {u"GetVersions", u"a.fpak", u"b.TDB", u"", u"", u""}},
        {u"GetMD5FileChecksum \"\\Storage Card\\a b.txt\"",
         {u"GetMD5FileChecksum", u"\\Storage Card\\a b.txt", u"", u"", u"", u""}},
        {u"x \"\" y", {u"x", u"y", u"", u"", u"", u""}},      // an empty quoted token is dropped
        {u"ab\"c d\"e", {u"abc de", u"", u"", u"", u"", u""}},  // quotes inside a token
        {u"x \"open quote", {u"x", u"open quote", u"", u"", u"", u""}},
        {u"a\tb", {u"a\tb", u"", u"", u"", u"", u""}},        // only spaces separate
        {u"1 2 3 4 5 6 7", {u"1", u"2", u"3", u"4", u"5", u"6", u"7"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TokenizeCommandLine(c.line), c.tokens);
    }
}

}  // namespace
}  // namespace agent
