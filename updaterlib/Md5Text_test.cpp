#include "updaterlib/Md5Text.h"

#include <gtest/gtest.h>

namespace updaterlib {
namespace {

TEST(Md5Text, TextToBytes) {
    struct Case {
        const char* text;
        bool valid;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"", true, {}},
        {"abc", true, {0x0a, 0xbc}},  // odd length: a "0" goes in front
        {"f", true, {0x0f}},
        {"00ff7F", true, {0x00, 0xff, 0x7f}},
        {"d41d8cd98f00b204e9800998ecf8427e", true,
         {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04, 0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42,
          0x7e}},
        {"D41D8CD98F00B204E9800998ECF8427E", true,
         {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04, 0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42,
          0x7e}},
        {"0g", false, {}},
        {"12 4", false, {}},
        {"xyz", false, {}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = {0x55};
        EXPECT_EQ(Md5TextToBytes(c.text, bytes), c.valid) << c.text;
        EXPECT_EQ(bytes, c.bytes) << c.text;
    }
}

TEST(Md5Text, BytesToLowerCaseTextAndBack) {
    const std::vector<uint8_t> bytes = {0x00, 0x01, 0xab, 0xcd, 0xef, 0xff, 0x10, 0x9a};
    EXPECT_EQ(Md5BytesToText(bytes), "0001abcdefff109a");
    EXPECT_EQ(Md5BytesToText({}), "");
    std::vector<uint8_t> back;
    ASSERT_TRUE(Md5TextToBytes(Md5BytesToText(bytes), back));
    EXPECT_EQ(back, bytes);
}

}  // namespace
}  // namespace updaterlib
