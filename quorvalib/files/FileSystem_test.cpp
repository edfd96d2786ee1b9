#include "quorvalib/files/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "quorvalib/files/Afile.h"
#include "quorvalib/files/ProductVersion.h"
#include "quorvalib/files/TestTempFolder.h"

namespace quorvalib::files {
namespace {

TEST(FileSystem, PathWithAnEmojiIsCreatedAndFoundAgain) {
    TestTempFolder folder;
    const Astring directory(folder / "maps \xF0\x9F\x98\x80");
    ASSERT_TRUE(MakeDirectory(directory));
    Astring path = directory;
    path.AppendPath("\xF0\x9F\x98\x80.txt");
    Afile file(path);
    ASSERT_TRUE(file.Create());
    ASSERT_TRUE(file.Write("smile", 5));
    file.Close();

    // The name on disk carries the real character, never a substitute.
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path.str())));
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(IsDirectory(path));
    EXPECT_TRUE(IsDirectory(directory));
    Afile listing;
    Astring pattern = directory;
    ASSERT_TRUE(listing.FindNext(pattern.AppendPath("*")));
    EXPECT_EQ(listing.Path(), path);
    EXPECT_EQ(listing.Path().Length(), path.Length());
}

TEST(FileSystem, MakeDirectoryIsOneLevel) {
    TestTempFolder folder;
    EXPECT_TRUE(MakeDirectory(Astring(folder / "a")));
    EXPECT_TRUE(MakeDirectory(Astring(folder / "a")));  // exists: true
    EXPECT_FALSE(MakeDirectory(Astring(folder / "x/y")));
    std::ofstream(folder / "file") << "f";
    EXPECT_FALSE(MakeDirectory(Astring(folder / "file")));
}

TEST(FileSystem, MoveReplacesAnExistingTarget) {
    TestTempFolder folder;
    std::ofstream(folder / "new.bin") << "new content";
    std::ofstream(folder / "old.bin") << "old";
    ASSERT_TRUE(MoveFile(Astring(folder / "new.bin"), Astring(folder / "old.bin")));
    EXPECT_EQ(ReadFileContent(folder / "old.bin"), "new content");
    EXPECT_FALSE(FileExists(Astring(folder / "new.bin")));
    EXPECT_FALSE(MoveFile(Astring(folder / "missing"), Astring(folder / "old.bin")));
    EXPECT_EQ(ReadFileContent(folder / "old.bin"), "new content");
}

TEST(FileSystem, MoveAcrossVolumesCopies) {
    // /dev/shm is a separate file system on Linux; skip where it is not.
    TestTempFolder folder;
    const std::string shm = "/dev/shm/tovfiles_move_" + std::to_string(getpid());
    struct stat a {}, b {};
    if (stat("/dev/shm", &b) != 0 || stat(folder.Path().c_str(), &a) != 0 || a.st_dev == b.st_dev) {
        GTEST_SKIP() << "no second file system";
    }
    std::ofstream(folder / "src") << "across";
    ASSERT_TRUE(MoveFile(Astring(folder / "src"), Astring(shm)));
    EXPECT_EQ(ReadFileContent(shm), "across");
    EXPECT_FALSE(FileExists(Astring(folder / "src")));
    std::remove(shm.c_str());
}

TEST(FileSystem, RemoveTreeEmptiesNestedReadOnlyContentButKeepsTheFolder) {
    TestTempFolder folder;
    std::filesystem::create_directories(folder / "root/a/b");
    std::ofstream(folder / "root/top.txt") << "t";
    std::ofstream(folder / "root/a/b/deep.txt") << "d";
    chmod((folder / "root/a/b/deep.txt").c_str(), 0444);
    // Links inside the tree lead outside it: only the links go.
    std::filesystem::create_directories(folder / "outside");
    std::ofstream(folder / "outside/keep.txt") << "k";
    chmod((folder / "outside/keep.txt").c_str(), 0444);
    std::filesystem::create_directory_symlink(folder / "outside", folder / "root/a/dirlink");
    std::filesystem::create_symlink(folder / "outside/keep.txt", folder / "root/filelink");
    std::filesystem::create_symlink(folder / "gone", folder / "root/a/b/dangling");
    ASSERT_TRUE(RemoveTree(Astring(folder / "root")));
    EXPECT_TRUE(IsDirectory(Astring(folder / "root")));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "root"));
    EXPECT_EQ(ReadFileContent(folder / "outside/keep.txt"), "k");
    struct stat kept {};
    ASSERT_EQ(stat((folder / "outside/keep.txt").c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 0777, 0444u);
    EXPECT_TRUE(DeleteFile(Astring(folder / "root")) == false);  // not a file
}

TEST(FileSystem, FreeSpaceAndDocumentsFolder) {
    TestTempFolder folder;
    EXPECT_NE(FreeSpace(Astring(folder.Path())), ~uint64_t{0});
    EXPECT_EQ(FreeSpace(Astring(folder / "missing/x")), ~uint64_t{0});

    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", folder.Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "cfg").c_str(), 1);
    Astring documents;
    ASSERT_TRUE(GetDocumentsFolder(documents));
    EXPECT_EQ(documents, Astring(folder / "Documents/"));
    setenv("HOME", oldHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
}

TEST(ProductVersion, IsTheProjectVersion) {
    Astring version;
    ASSERT_TRUE(GetProductVersion(version));
    EXPECT_EQ(version, Astring::Format("%i.%i.%i", TOV_VERSION_MAJOR, TOV_VERSION_MINOR,
                                       TOV_VERSION_PATCH));
}

}  // namespace
}  // namespace quorvalib::files
