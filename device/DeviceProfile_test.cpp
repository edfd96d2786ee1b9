#include "device/DeviceProfile.h"

#include <gtest/gtest.h>

namespace device {
namespace {

TEST(DeviceProfile, ReadsEveryKeyAndWritesTheSameProfileBack) {
    const auto profile = DeviceProfile::Parse(
        "# a navigator with two cards\n"
        "note_prj = yes\n"
        "\n"
        "[volume \\]\n"
        "capacity = 1000\n"
        "[volume \\Storage Card]\n"
        "  capacity = 5000  \r\n"
        "; the internal flash is not a card\n"
        "[volume \\ResidentFlash]\n"
        "card = no\n");
    ASSERT_TRUE(profile);
    EXPECT_TRUE(profile->HasNoteProj());
    EXPECT_EQ(profile->ObjectStore().capacity, 1000u);
    ASSERT_EQ(profile->Volumes().size(), 2u);
    EXPECT_EQ(profile->Volumes()[0], (VolumeProfile{"Storage Card", 5000, true}));
    EXPECT_EQ(profile->Volumes()[1], (VolumeProfile{"ResidentFlash", std::nullopt, false}));
    EXPECT_EQ(profile->FindVolume("storage CARD"), &profile->Volumes()[0]);

    const auto again = DeviceProfile::Parse(profile->ToText());
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *profile);
}

TEST(DeviceProfile, AnEmptyProfileIsTheObjectStoreAlone) {
    const auto profile = DeviceProfile::Parse("");
    ASSERT_TRUE(profile);
    EXPECT_FALSE(profile->HasNoteProj());
    EXPECT_FALSE(profile->ObjectStore().capacity);
    EXPECT_TRUE(profile->Volumes().empty());
}

TEST(DeviceProfile, RefusesWhatItDoesNotUnderstand) {
    const char* faults[] = {
        "note_prj = maybe\n",
        "colour = red\n",
        "[volume \\]\ncapacity = -5\n",
        "[volume \\]\ncapacity = 12kB\n",
        "[volume \\]\ncard = yes\n",                 // the object store is no card
        "[volume \\a]\nnote_prj = yes\n",            // a device key inside a volume
        "[volume \\a]\n[volume \\A]\n",              // declared twice
        "[volume \\a\\b]\n",                         // not one folder name
        "[volume \\..]\n",
        "[volume a]\n",
        "[disk \\a]\n",
        "[volume \\a\n",
        "capacity\n",
    };
    for (const char* text : faults) {
        EXPECT_FALSE(DeviceProfile::Parse(text)) << text;
    }
}

}  // namespace
}  // namespace device
