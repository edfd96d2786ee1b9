#include "updaterlib/OldLayout.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "quorvalib/files/TestTempFolder.h"

namespace updaterlib {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

// Makes a file impossible to delete, even for root; false where the file system refuses.
bool SetImmutable(const fs::path& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

TEST(OldLayoutTest, DetectedByItsDefsDirectory) {
    TestTempFolder folder;
    EXPECT_EQ(DetectOldLayout(Astring(folder.Path())).layout, -1);
    EXPECT_EQ(DetectOldLayout(Astring(folder.Path())).version, -1);
    Touch(folder / "defs");  // a file of that name is not the layout
    EXPECT_EQ(DetectOldLayout(Astring(folder.Path())).layout, -1);
    fs::remove(folder / "defs");
    fs::create_directory(folder / "defs");
    const OldLayout found = DetectOldLayout(Astring(folder.Path()));
    EXPECT_EQ(found.layout, 3);
    EXPECT_EQ(found.version, 1);
}

TEST(OldLayoutTest, RemovesTheOldDirectoriesAndProgram) {
    TestTempFolder folder;
    EXPECT_TRUE(RemoveOldLayout(Astring(folder.Path()), 1));  // nothing there
    for (const char* name : {"fonts/a.ttf", "maps/eu/cz.map", "voices/en/v.dat", "defs/d.def",
                             "traces/t.log"}) {
        Touch(folder / name);
    }
    Touch(folder / "Kestrova.exe");
    Touch(folder / "keep/mine.txt");
    EXPECT_FALSE(RemoveOldLayout(Astring(folder.Path()), 2));
    EXPECT_TRUE(fs::exists(folder / "maps/eu/cz.map"));

    EXPECT_TRUE(RemoveOldLayout(Astring(folder.Path()), 1));
    for (const char* name : {"fonts", "maps", "voices", "defs", "traces", "Kestrova.exe"}) {
        EXPECT_FALSE(fs::exists(folder / name)) << name;
    }
    EXPECT_TRUE(fs::exists(folder / "keep/mine.txt"));
}

TEST(OldLayoutTest, ALockedFileStopsTheRemovalAtItsFolder) {
    TestTempFolder folder;
    for (const char* name : {"fonts/a.ttf", "maps/locked.map", "skins/s.skn", "defs/d.def"}) {
        Touch(folder / name);
    }
    if (!SetImmutable(folder / "maps/locked.map", true)) {
        GTEST_SKIP() << "this file system cannot lock a file";
    }
    const bool removed = RemoveOldLayout(Astring(folder.Path()), 1);
    SetImmutable(folder / "maps/locked.map", false);
    EXPECT_FALSE(removed);
    EXPECT_FALSE(fs::exists(folder / "fonts"));         // before maps
    EXPECT_TRUE(fs::exists(folder / "skins/s.skn"));    // after maps: untouched
    EXPECT_TRUE(fs::exists(folder / "defs/d.def"));
}

}  // namespace
}  // namespace updaterlib
