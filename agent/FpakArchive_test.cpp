#include "agent/FpakArchive.h"

#include <gtest/gtest.h>

#include <cstring>

#include "agent/testing/FpakBuilder.h"

namespace agent {
namespace {

class StringSource final : public FpakSource {
public:
    explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
    size_t Read(void* out, size_t count) override {
        const size_t got = position_ < bytes_.size() ? std::min(count, bytes_.size() - position_) : 0;
        std::memcpy(out, bytes_.data() + position_, got);
        position_ += got;
        return got;
    }
    bool Skip(uint64_t count) override {
        position_ += count;  // like a file: moving past the end is allowed, reading there is not
        return true;
    }

private:
    std::string bytes_;
    size_t position_ = 0;
};

FpakArchive ReadArchive(const std::string& bytes) {
    StringSource source(bytes);
    return FpakArchive::Read(source);
}

TEST(FpakArchive, FindsEntriesByPath) {
    const auto bytes = testing::FpakBuilder()
                           .File("version", "20241001")
                           .Folder("maps")
                           .File("europe.map", "EEE")
                           .Folder("old")
                           .End()
                           .File("x", "#")
                           .End(0)  // 0 also closes a list
                           .Folder("symlinks")
                           .File("version", "12345678")
                           .End()
                           .Raw("\x07\xFF")  // one-byte records without content
                           .File("last", "L")
                           .Bytes();
    const FpakArchive archive = ReadArchive(bytes);
    struct Case {
        std::string path;
        bool found;
        bool folder;
        uint64_t offset;
        uint32_t length;
    };
    const Case cases[] = {
        {"/version", true, false, 1 + 1 + 7 + 4, 8},
        {"//maps///europe.map", true, false, bytes.find("EEE"), 3},
        {"/maps/old", true, true, 0, 0},
        {"/maps/x", true, false, bytes.find("#"), 1},
        {"/x", false, false, 0, 0},
        {"/maps/europe.map/more", false, false, 0, 0},
        {"version", true, false, bytes.find("12345678"), 8},  // relative: below /symlinks/
        {"/symlinks/version", true, false, bytes.find("12345678"), 8},
        {"/Version", false, false, 0, 0},  // names are compared exactly
        {"/last", true, false, bytes.size() - 1, 1},
    };
    for (const auto& c : cases) {
        const auto entry = archive.Find(c.path);
        ASSERT_EQ(entry.has_value(), c.found) << c.path;
        if (entry) {
            EXPECT_EQ(entry->folder, c.folder) << c.path;
            EXPECT_EQ(entry->offset, c.offset) << c.path;
            EXPECT_EQ(entry->length, c.length) << c.path;
        }
    }
}

TEST(FpakArchive, LaterEntriesOfTheSameNameWin) {
    const FpakArchive archive = ReadArchive(testing::FpakBuilder()
                                                .File("version", "first!!!")
                                                .Folder("version")
                                                .End()
                                                .Folder("a")
                                                .File("b", "1")
                                                .End()
                                                .File("a", "now a file")
                                                .Bytes());
    EXPECT_TRUE(archive.Find("/version")->folder);
    EXPECT_FALSE(archive.Find("/a")->folder);
    EXPECT_FALSE(archive.Find("/a/b"));
}

TEST(FpakArchive, TheRootsEndAndTheDataEndStopReading) {
    // After the root's own end record nothing more belongs to the archive.
    EXPECT_FALSE(ReadArchive(testing::FpakBuilder().End().File("version", "x").Bytes())
                     .Find("/version"));
    // A header cut short is no entry; data cut short is still recorded as the header says.
    const std::string full = testing::FpakBuilder().File("a", "1").File("version", "1234").Bytes();
    for (size_t size = 0; size < full.size(); ++size) {
        const FpakArchive archive = ReadArchive(full.substr(0, size));
        EXPECT_EQ(archive.Find("/a").has_value(), size >= 7) << size;
        EXPECT_EQ(archive.Find("/version").has_value(), size >= 8 + 13) << size;
    }
    const FpakArchive cut = ReadArchive(testing::FpakBuilder().FileRecord("version", 8, "12").Bytes());
    EXPECT_EQ(cut.Find("/version")->length, 8u);
}

TEST(FpakArchive, DeepFoldersNeitherRecurseNorOverflow) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) {
        bytes += std::string("\x02\x01x", 3);
    }
    const FpakArchive archive = ReadArchive(bytes);
    EXPECT_TRUE(archive.Find("/x/x/x/x")->folder);
}

}  // namespace
}  // namespace agent
