#include "device/DeviceRoot.h"

#include <gtest/gtest.h>

#include "device/testing/DeviceFixture.h"

namespace fs = std::filesystem;

namespace device {
namespace {

class DeviceRootTest : public ::testing::Test {
protected:
    DeviceRoot Open(DeviceProfile profile = {}) {
        auto root = DeviceRoot::Open(device_.Root(), std::move(profile));
        EXPECT_TRUE(root);
        return std::move(*root);
    }
    testing::TempDevice device_;
};

TEST_F(DeviceRootTest, PathsAreMatchedWithoutRegardToCase) {
    device_.WriteFile("Windows/PlayMP3.exe", "x");
    const DeviceRoot root = Open();
    struct Case {
        std::u16string path;
        std::string host;  // relative to the root; empty: the root itself
        bool exists;
    };
    const Case cases[] = {
        {u"\\Windows\\PlayMP3.exe", "Windows/PlayMP3.exe", true},
        {u"\\WINDOWS\\playmp3.EXE", "Windows/PlayMP3.exe", true},
        {u"/windows/PlayMP3.exe", "Windows/PlayMP3.exe", true},
        {u"windows\\\\playmp3.exe", "Windows/PlayMP3.exe", true},  // relative: from the root
        {u"\\Windows\\StockNavi.exe", "Windows/StockNavi.exe", false},
        {u"\\windows", "Windows", true},
        {u"\\", "", true},
    };
    for (const auto& c : cases) {
        ResolvedPath resolved;
        ASSERT_EQ(root.Resolve(c.path, resolved), ERROR_SUCCESS);
        EXPECT_EQ(resolved.host, c.host.empty() ? root.Folder() : root.Folder() / c.host);
        EXPECT_EQ(resolved.exists, c.exists);
    }
}

TEST_F(DeviceRootTest, PathsNeverLeadOutOfTheRoot) {
    device_.WriteFile("a.txt", "x");
    fs::create_directory_symlink(device_.Scratch(), device_.Host("outside"));
    const DeviceRoot root = Open();
    struct Case {
        std::u16string path;
        DWORD error;
    };
    const Case cases[] = {
        {u"\\..\\device.profile", ERROR_INVALID_NAME},
        {u"\\Windows\\..\\..\\x", ERROR_INVALID_NAME},
        {u"\\.\\a.txt", ERROR_INVALID_NAME},
        {u"\\outside\\device.profile", ERROR_ACCESS_DENIED},
        {u"\\outside", ERROR_ACCESS_DENIED},
        {u"\\a?.txt", ERROR_INVALID_NAME},
        {u"\\a.txt\\b", ERROR_PATH_NOT_FOUND},
        {u"\\missing\\b", ERROR_PATH_NOT_FOUND},
        {std::u16string{u'\\', 0xD800}, ERROR_INVALID_NAME},
    };
    for (const auto& c : cases) {
        ResolvedPath resolved;
        EXPECT_EQ(root.Resolve(c.path, resolved), c.error);
    }
    EXPECT_EQ(root.DevicePathOf(device_.Host("a.txt")), u"\\a.txt");
    EXPECT_EQ(root.DevicePathOf(device_.Root()), u"\\");
    EXPECT_FALSE(root.DevicePathOf(device_.ProfileFile()));
}

TEST_F(DeviceRootTest, CapacityMinusStoredBytesPerVolume) {
    device_.WriteFile("tov_agent.exe", std::string(300, 'a'));
    device_.WriteFile("Windows/x.dll", std::string(200, 'b'));
    device_.WriteFile("Storage Card/maps/m.fpak", std::string(700, 'c'));
    device_.WriteFile("Plain/n.txt", std::string(50, 'd'));  // an undeclared folder
    DeviceProfile profile;
    profile.ObjectStore().capacity = 1000;
    profile.SetVolume({"storage card", 4096, true});
    profile.SetVolume({"Full", 10, true});
    device_.WriteFile("Full/big", std::string(20, 'e'));
    const DeviceRoot root = Open(profile);

    struct Case {
        std::u16string path;
        uint64_t freeBytes;
        uint64_t total;
    };
    const Case cases[] = {
        {u"\\", 1000 - 550, 1000},
        {u"\\Windows", 1000 - 550, 1000},
        {u"\\Plain", 1000 - 550, 1000},
        {u"\\Storage Card", 4096 - 700, 4096},
        {u"\\STORAGE CARD\\maps", 4096 - 700, 4096},
        {u"\\Full", 0, 10},
    };
    for (const auto& c : cases) {
        VolumeFigures figures;
        ASSERT_EQ(root.FreeSpace(c.path, figures), ERROR_SUCCESS);
        EXPECT_EQ(figures.freeToCaller, c.freeBytes);
        EXPECT_EQ(figures.totalFree, c.freeBytes);
        EXPECT_EQ(figures.total, c.total);
    }
    VolumeFigures figures;
    EXPECT_EQ(root.FreeSpace(u"\\sdmmc", figures), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(root.FreeSpace(u"\\tov_agent.exe", figures), ERROR_DIRECTORY);
}

TEST_F(DeviceRootTest, WithoutCapacityTheHostFiguresCount) {
    const DeviceRoot root = Open();
    VolumeFigures figures;
    ASSERT_EQ(root.FreeSpace(u"\\", figures), ERROR_SUCCESS);
    EXPECT_GT(figures.total, 0u);
    EXPECT_LE(figures.freeToCaller, figures.totalFree);
    EXPECT_LE(figures.totalFree, figures.total);
}

TEST_F(DeviceRootTest, PresentCardsFollowTheProfileAndTheFolders) {
    DeviceProfile profile;
    profile.SetVolume({"SD Card", std::nullopt, true});
    profile.SetVolume({"Missing Card", std::nullopt, true});
    profile.SetVolume({"ResidentFlash", std::nullopt, false});
    profile.SetVolume({"Storage Card", std::nullopt, true});
    device_.MakeFolder("storage card");
    device_.MakeFolder("SD Card");
    device_.MakeFolder("ResidentFlash");
    device_.MakeFolder("Undeclared");
    const DeviceRoot root = Open(profile);
    EXPECT_EQ(root.PresentCards(), (std::vector<std::u16string>{u"SD Card", u"storage card"}));
}

TEST(DeviceRootOpen, RefusesAMissingFolder) {
    EXPECT_FALSE(DeviceRoot::Open("/nonexistent/tov-device-root", {}));
}

}  // namespace
}  // namespace device
