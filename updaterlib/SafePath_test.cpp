#include "updaterlib/SafePath.h"

#include <gtest/gtest.h>

namespace updaterlib {
namespace {

TEST(SafePath, PathsThatLeaveTheFolderAreRefused) {
    struct Case {
        const char* path;
        bool allowEmpty;
        bool safe;
    };
    const Case cases[] = {
        {"maps/europe.map", false, true},
        {"a\\b\\c.txt", false, true},
        {"..name/x..y", false, true},
        {"./here", false, true},
        {"", true, true},
        {"", false, false},
        {"/etc/passwd", false, false},
        {"\\windows\\x", false, false},
        {"C:/x", false, false},
        {"c:", true, false},
        {"..", false, false},
        {"../x", false, false},
        {"a/../../x", false, false},
        {"a\\..\\x", false, false},
        {"a/..", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsSafeRelativePath(c.path, c.allowEmpty), c.safe) << '"' << c.path << '"';
    }
}

}  // namespace
}  // namespace updaterlib
