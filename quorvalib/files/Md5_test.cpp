#include "quorvalib/files/Md5.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "quorvalib/files/TestTempFolder.h"

namespace {

TEST(Md5, Rfc1321TestSuite) {
    struct Case {
        const char* input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) EXPECT_EQ(Md5::Of(c.input).HexDigest(), c.digest) << c.input;
}

TEST(Md5, PiecewiseEqualsWholeAcrossBlockAndPaddingBoundaries) {
    std::mt19937 random(7);
    std::string data(3000, '\0');
    for (char& c : data) c = static_cast<char>(random());
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 3000u}) {
        const std::string_view whole(data.data(), length);
        const Md5 expected = Md5::Of(whole);
        Md5 pieces;
        for (size_t at = 0; at < length;) {
            const size_t step = std::min<size_t>(1 + random() % 97, length - at);
            pieces.Add(whole.substr(at, step));
            at += step;
        }
        pieces.Finish();
        EXPECT_EQ(pieces.Bytes(), expected.Bytes()) << length;
    }
    // "a million a's" from the common MD5 test vectors.
    Md5 million;
    const std::string thousand(1000, 'a');
    for (int i = 0; i < 1000; ++i) million.Add(thousand);
    million.Finish();
    EXPECT_EQ(million.HexDigest(), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, HexDigestIsRenewedAfterRestart) {
    Md5 md5;
    md5.Add("a");
    md5.Finish();
    const Astring& first = md5.HexDigest();
    EXPECT_EQ(&first, &md5.HexDigest());
    md5.Start();
    md5.Add("abc");
    md5.Finish();
    EXPECT_EQ(md5.HexDigest(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, OfFile) {
    TestTempFolder folder;
    std::ofstream(folder / "f.txt", std::ios::binary) << "message digest";
    Md5 md5;
    ASSERT_TRUE(Md5::OfFile(Astring(folder / "f.txt"), md5));
    EXPECT_EQ(md5.HexDigest(), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_FALSE(Md5::OfFile(Astring(folder / "missing"), md5));
}

}  // namespace
