#include "quorvalib/files/Afile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/files/AfileStream.h"
#include "quorvalib/files/FileSystem.h"
#include "quorvalib/files/TestTempFolder.h"

namespace {

using common::debug::testing::LogRecorder;

TEST(Afile, OpenModes) {
    TestTempFolder folder;
    const Astring path(folder / "data.bin");
    Afile file;
    EXPECT_FALSE(file.OpenRead());
    EXPECT_EQ(file.LastError(), Afile::kErrorNoName);

    file.SetLogErrors(false);
    EXPECT_FALSE(file.OpenRead(path));  // mode 1: existing files only
    EXPECT_EQ(file.LastError(), Afile::kErrorPlatform);

    ASSERT_TRUE(file.OpenReadWrite(path));  // mode 2 creates
    ASSERT_TRUE(file.Write("hello world", 11));
    EXPECT_TRUE(file.OpenRead(Astring(folder / "other")));  // already open: no-op
    EXPECT_EQ(file.Path(), path);
    file.Close();

    ASSERT_TRUE(file.OpenReadWrite(path));  // mode 2 keeps the content
    EXPECT_EQ(file.Size(), 11u);
    file.Close();
    ASSERT_TRUE(file.Create(path));  // mode 3 truncates
    EXPECT_EQ(file.Size(), 0u);
    file.Close();
    ASSERT_TRUE(file.Open(Afile::kReadShared, path));
    EXPECT_EQ(file.Mode(), Afile::kReadShared);
}

TEST(Afile, ReadWriteSeekPositionTruncate) {
    TestTempFolder folder;
    Afile file(Astring(folder / "data.bin"));
    ASSERT_TRUE(file.Create());
    ASSERT_TRUE(file.Write("0123456789", 10));
    EXPECT_EQ(file.Position(), 10u);
    EXPECT_EQ(file.Seek(2, Afile::kSeekBegin), 2u);
    char buffer[16] = {};
    size_t got = 0;
    ASSERT_TRUE(file.Read(buffer, 3, got));
    EXPECT_EQ(std::string(buffer, got), "234");
    EXPECT_EQ(file.Seek(1, Afile::kSeekCurrent), 6u);
    EXPECT_EQ(file.Seek(-2, Afile::kSeekEnd), 8u);
    EXPECT_EQ(file.Seek(100, 7), 8u);  // unknown origin does not move
    ASSERT_TRUE(file.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "89");
    ASSERT_TRUE(file.Read(buffer, sizeof buffer, got));  // at the end: success, 0 bytes
    EXPECT_EQ(got, 0u);
    file.Seek(4, Afile::kSeekBegin);
    ASSERT_TRUE(file.Truncate());
    EXPECT_EQ(file.Size(), 4u);
    file.Close();
    EXPECT_EQ(ReadFileContent(folder / "data.bin"), "0123");
}

TEST(Afile, BufferedBytesWithStepBackAcrossRefills) {
    TestTempFolder folder;
    std::string content;
    for (int i = 0; i < 1300; ++i) content += static_cast<char>('a' + i % 26);
    std::ofstream(folder / "bytes.txt", std::ios::binary) << content;
    Afile file(Astring(folder / "bytes.txt"));
    ASSERT_TRUE(file.OpenRead());
    std::string seen;
    uint8_t byte = 0;
    size_t count = 0;
    while (file.NextByte(byte)) {
        seen += static_cast<char>(byte);
        if (++count == 512) {  // right at a refill boundary
            EXPECT_TRUE(file.StepBack());
            EXPECT_FALSE(file.StepBack());  // only one step
            seen.pop_back();
        }
    }
    EXPECT_EQ(seen, content);
    EXPECT_FALSE(file.NextByte(byte));

    ASSERT_TRUE(file.Rewind());
    ASSERT_TRUE(file.NextByte(byte));
    EXPECT_EQ(byte, 'a');
    ASSERT_TRUE(file.NextByte(byte));
    EXPECT_EQ(file.Position(), 2u);  // buffered bytes are not counted as read
    char rest[3];
    size_t got = 0;
    ASSERT_TRUE(file.Read(rest, 3, got));  // unbuffered reading goes on where bytes stopped
    EXPECT_EQ(std::string(rest, got), "cde");
}

TEST(Afile, FailuresAreLoggedWithTheirTexts) {
    TestTempFolder folder;
    LogRecorder recorder("Afile", common::debug::kLogError);
    Afile file(Astring(folder / "closed.txt"));
    char buffer[4];
    size_t got = 0;
    EXPECT_FALSE(file.Read(buffer, 4, got));
    EXPECT_EQ(file.LastError(), Afile::kErrorPlatform);
    EXPECT_FALSE(file.Write("x", 1));

    // A directory opened for reading fails on read with the platform's error.
    Afile directory(Astring(folder.Path()));
    ASSERT_TRUE(directory.OpenRead());
    EXPECT_FALSE(directory.Read(buffer, 4, got));

    Afile quiet(Astring(folder / "closed.txt"));
    quiet.SetLogErrors(false);
    EXPECT_FALSE(quiet.Read(buffer, 4, got));

    const auto lines = recorder.Lines();
    ASSERT_EQ(lines.size(), 3u);
    const std::string path = folder / "closed.txt";
    EXPECT_EQ(lines[0].message, "Read on closed file \"" + path + "\"");
    EXPECT_EQ(lines[1].message, "Write on closed file \"" + path + "\"");
    EXPECT_EQ(lines[2].message, "Error reading 4 bytes from \"" + folder.Path() + "\": 21");
    EXPECT_EQ(lines[2].level, common::debug::kLogError);
}

TEST(Afile, WriteFailureNamesBytesWritten) {
    LogRecorder recorder("Afile", common::debug::kLogError);
    Afile full(Astring("/dev/full"));
    ASSERT_TRUE(full.OpenReadWrite());
    EXPECT_FALSE(full.Write("abc", 3));
    const auto lines = recorder.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "Error writing 3 bytes to \"/dev/full\": 28 (wrote 0)");
}

TEST(Afile, EnumerationAndDelete) {
    TestTempFolder folder;
    std::ofstream(folder / "one.txt") << "1";
    std::ofstream(folder / "two.dat") << "22";
    ASSERT_TRUE(quorvalib::files::MakeDirectory(Astring(folder / "sub")));
    Afile listing;
    std::map<std::string, std::pair<bool, uint64_t>> found;
    for (bool more = listing.FindNext(Astring(folder / "*")); more; more = listing.FindNext()) {
        found[listing.Path().str()] = {listing.IsDirectory(), listing.Size()};
    }
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[folder / "one.txt"], std::make_pair(false, uint64_t{1}));
    EXPECT_EQ(found[folder / "two.dat"], std::make_pair(false, uint64_t{2}));
    EXPECT_TRUE(found[folder / "sub"].first);

    Afile pattern;
    ASSERT_TRUE(pattern.FindNext(Astring(folder / "*.dat")));
    EXPECT_EQ(pattern.Path(), Astring(folder / "two.dat"));
    EXPECT_FALSE(pattern.FindNext());

    // Delete clears read-only and removes files and (empty) directories.
    Afile readOnly(Astring(folder / "one.txt"));
    ASSERT_EQ(chmod((folder / "one.txt").c_str(), 0444), 0);
    EXPECT_TRUE(readOnly.Delete());
    EXPECT_FALSE(quorvalib::files::FileExists(Astring(folder / "one.txt")));
    Afile sub(Astring(folder / "sub"));
    EXPECT_TRUE(sub.Delete());
    EXPECT_FALSE(quorvalib::files::FileExists(Astring(folder / "sub")));
}

TEST(AfileStream, WritesReadsAndSeeksThroughTheFile) {
    TestTempFolder folder;
    auto file = std::make_shared<Afile>(Astring(folder / "stream.txt"));
    ASSERT_TRUE(file->Create());
    {
        AfileStream out(AfileDevice{file});
        out << "line one\n" << 42 << "\n";
        out.flush();
        EXPECT_TRUE(out.good());
    }
    EXPECT_EQ(ReadFileContent(folder / "stream.txt"), "line one\n42\n");
    file->Rewind();
    AfileStream in(AfileDevice{file});
    std::string word;
    in >> word;
    EXPECT_EQ(word, "line");
    in.seekg(9);
    int number = 0;
    in >> number;
    EXPECT_EQ(number, 42);

    auto closed = std::make_shared<Afile>(Astring(folder / "never.txt"));
    closed->SetLogErrors(false);
    AfileStream bad(AfileDevice{closed});
    bad << "x";
    bad.flush();
    EXPECT_TRUE(bad.bad());
}

}  // namespace
