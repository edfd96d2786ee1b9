#include "device/LibraryApi.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/SystemApi.h"
#include "device/testing/CurrentDeviceTest.h"

namespace device {
namespace {

class LibraryApiTest : public testing::CurrentDeviceTest {
protected:
    // The card names the enumeration of "note_prj.dll" lists.
    std::vector<std::u16string> Cards() {
        HMODULE module = LoadLibraryW(u"note_prj.dll");
        EXPECT_NE(module, nullptr);
        auto first = reinterpret_cast<FindFirstFlashCardFunction>(
            GetProcAddressW(module, u"FindFirstFlashCard"));
        auto next = reinterpret_cast<FindNextFlashCardFunction>(
            GetProcAddressW(module, u"FindNextFlashCard"));
        EXPECT_TRUE(first && next);
        std::vector<std::u16string> names;
        if (!first || !next) {
            return names;
        }
        WIN32_FIND_DATAW data;
        HANDLE search = first(&data);
        if (search == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
            FreeLibrary(module);
            return names;
        }
        do {
            EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
            names.emplace_back(data.cFileName);
        } while (next(search, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(search));
        EXPECT_FALSE(FindClose(search));
        EXPECT_TRUE(FreeLibrary(module));
        return names;
    }
};

TEST_F(LibraryApiTest, NoteProjExistsOnlyWhenTheProfileSaysSo) {
    EXPECT_EQ(LoadLibraryW(u"note_prj.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    DeviceProfile profile;
    profile.SetNoteProj(true);
    UseDevice(profile);
    EXPECT_EQ(LoadLibraryW(u"coredll.dll"), nullptr);
    HMODULE module = LoadLibraryW(u"\\Windows\\NOTE_PRJ.DLL");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddressW(module, u"findfirstflashcard"), nullptr);  // exports: exact names
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddressW(nullptr, u"FindFirstFlashCard"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(module));
}

TEST_F(LibraryApiTest, EnumeratesThePresentCardsInProfileOrder) {
    DeviceProfile profile;
    profile.SetNoteProj(true);
    UseDevice(profile);
    EXPECT_TRUE(Cards().empty());

    profile.SetVolume({"Storage Card", std::nullopt, true});
    profile.SetVolume({"ResidentFlash", std::nullopt, false});
    profile.SetVolume({"SD2", std::nullopt, true});
    profile.SetVolume({"Absent", std::nullopt, true});
    device_.MakeFolder("SD2");
    device_.MakeFolder("ResidentFlash");
    device_.MakeFolder("Storage Card");
    UseDevice(profile);
    EXPECT_EQ(Cards(), (std::vector<std::u16string>{u"Storage Card", u"SD2"}));
}

}  // namespace
}  // namespace device
