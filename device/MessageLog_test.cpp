#include "device/MessageLog.h"

#include <gtest/gtest.h>

namespace device {
namespace {

TEST(MessageLog, RecordsSurviveTabsLineBreaksAndBackslashes) {
    const MessageRecord records[] = {
        {u"ERROR", u"Kestrova.exe not found. Please check your memory card!", 0},
        {u"a\tb", u"line 1\nline 2\r\\path\\x", 0x34},
        {u"", u"\u010Cesky \U0001F600", 0xFFFFFFFF},
    };
    for (const auto& record : records) {
        const std::string line = FormatMessageRecord(record);
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1);
        EXPECT_EQ(ParseMessageRecord(line), record);
    }
    EXPECT_EQ(FormatMessageRecord(records[0]),
              "ERROR\tKestrova.exe not found. Please check your memory card!\t0x00000000\n");
}

TEST(MessageLog, RefusesLinesThatAreNoRecord) {
    const char* lines[] = {"", "ERROR", "a\tb", "a\tb\t0", "a\tb\t0x0000000g", "a\tb\tc\t0x00000000",
                           "a\\q\tb\t0x00000000", "a\\\tb\t0x00000000"};
    for (const char* line : lines) {
        EXPECT_FALSE(ParseMessageRecord(line)) << line;
    }
}

}  // namespace
}  // namespace device
