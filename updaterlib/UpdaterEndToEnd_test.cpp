// The whole updater on a local data folder against a test server: synchronize, prepare,
// process, update, remove, cancel, and restart after an interrupted preparation.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updaterlib/UpdaterService.h"
#include "updaterlib/UpdaterServiceTestSupport_test.h"

namespace updaterlib {
namespace {

using servicetest::Done;
using servicetest::ServedPackage;
using servicetest::TestResponse;
using UpdaterEndToEndTest = servicetest::ServiceBench;

const ServedPackage kMapV1{"map-a", "1.0", "europe", {{"a1.dat", "map a, first file"},
                                                      {"a2.dat", "map a, second file"}}};
const ServedPackage kMapV2{"map-a", "2.0", "europe", {{"a1.dat", "map a 2.0, first file"},
                                                      {"a3.dat", "map a 2.0, new file"}}};
const ServedPackage kVoice{"voice-b", "1.0", "voices", {{"b.dat", "voice b"}}, "voice"};
const ServedPackage kSkin{"skin-c", "1.0", "skins", {{"c.dat", "skin c"}}, "skin"};
const ServedPackage kFont{"font-d", "1.0", "fonts", {{"d1.dat", "font d, one"},
                                                     {"d2.dat", "font d, two"}}, "font"};

int32_t GroupIdOf(UpdaterService& service, int32_t mode, int32_t parent, const std::string& name) {
    auto groups = service.CreateGroupModel(mode, parent);
    for (int32_t row = 0; row < groups->RowCount(); ++row) {
        if (name == groups->GetText(row, GroupModel::kGroupName)) {
            return groups->GetInt(row, GroupModel::kGroupId);
        }
    }
    return -1;
}

TEST_F(UpdaterEndToEndTest, InstallUpdateRemoveCancelAndRestart) {
    StartIdleService();

    // Install two packages.
    ServeCatalogue({kMapV1, kVoice});
    ASSERT_EQ(Synchronize(), (Done{1, 0, ""}));
    const int32_t mapV1 = IdOf("map-a", "1.0");
    const int32_t voice = IdOf("voice-b", "1.0");
    ASSERT_EQ(Prepare({{mapV1, kOperationInstall}, {voice, kOperationInstall}}),
              (Done{2, 0, ""}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "3/4");
    EXPECT_EQ(StatusOf("voice-b", "1.0"), "3/4");
    EXPECT_EQ(FileText("map-a/a1.dat~"), "map a, first file");
    ASSERT_EQ(Process(), (Done{3, 0, ""}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "4/1");
    EXPECT_EQ(StatusOf("voice-b", "1.0"), "4/1");
    EXPECT_EQ(FileText("map-a/a1.dat"), "map a, first file");
    EXPECT_EQ(FileText("map-a/a2.dat"), "map a, second file");
    EXPECT_EQ(FileText("voice-b/b.dat"), "voice b");
    EXPECT_FALSE(Exists("map-a/a1.dat~"));

    // A newer version of the map: offered as an update of the installed one.
    ServeCatalogue({kMapV2, kVoice});
    ASSERT_EQ(Synchronize(), (Done{1, 0, ""}));
    const int32_t mapV2 = IdOf("map-a", "2.0");
    const int32_t maps = GroupIdOf(*service, GroupModel::kInstall, -1, "Maps");
    const int32_t europe = GroupIdOf(*service, GroupModel::kInstall, maps, "europe");
    auto offered = service->CreatePackageModel(PackageModel::kInstall, europe);
    ASSERT_EQ(offered->RowCount(), 1);
    EXPECT_EQ(offered->GetInt(0, PackageModel::kId), mapV2);
    EXPECT_EQ(offered->GetInt(0, PackageModel::kOldId), mapV1);
    EXPECT_STREQ(offered->GetText(0, PackageModel::kOldVersion), "1.0");
    EXPECT_EQ(offered->GetInt(0, PackageModel::kOldSize), static_cast<int32_t>(kMapV1.Size()));

    ASSERT_EQ(Prepare({{mapV2, kOperationInstall}}), (Done{2, 0, ""}));
    // The old version was removed while preparing; being outdated, its record is gone.
    EXPECT_EQ(StatusOf("map-a", "1.0"), "gone");
    EXPECT_FALSE(Exists("map-a/a2.dat"));
    EXPECT_EQ(StatusOf("map-a", "2.0"), "3/4");
    ASSERT_EQ(Process(), (Done{3, 0, ""}));
    EXPECT_EQ(StatusOf("map-a", "2.0"), "4/1");
    EXPECT_EQ(FileText("map-a/a1.dat"), "map a 2.0, first file");
    EXPECT_EQ(FileText("map-a/a3.dat"), "map a 2.0, new file");
    EXPECT_FALSE(Exists("map-a/a2.dat"));

    // Remove a package: done by the preparation, nothing left to process.
    ASSERT_EQ(Prepare({{voice, kOperationUninstall}}), (Done{2, 0, ""}));
    EXPECT_EQ(StatusOf("voice-b", "1.0"), "1/1");
    EXPECT_FALSE(Exists("voice-b/b.dat"));
    ASSERT_EQ(Process(), (Done{3, 0, ""}));
    const int32_t voices = GroupIdOf(*service, GroupModel::kUninstall, maps, "voices");
    EXPECT_EQ(voices, -1);  // nothing installed there any more

    // Cancel a preparation while its file is on its way.
    ServeCatalogue({kMapV2, kVoice, kSkin});
    ASSERT_EQ(Synchronize(), (Done{1, 0, ""}));
    const int32_t skin = IdOf("skin-c", "1.0");
    server.Serve(kSkin.FileUrlPath("c.dat"), TestResponse::Stall("skin"));
    service->PreparePackages({{skin, kOperationInstall}});
    ASSERT_TRUE(server.WaitForRequests(kSkin.FileUrlPath("c.dat"), 1));
    EXPECT_EQ(Run([&] { service->Cancel(); }), (Done{2, 22, "cancelled"}));
    EXPECT_EQ(StatusOf("skin-c", "1.0"), "1/1");
    EXPECT_FALSE(Exists("skin-c/c.dat~"));
    EXPECT_EQ(StatusOf("map-a", "2.0"), "4/1");  // untouched

    // A preparation interrupted by the end of the program: the first file is downloaded, the
    // second is on its way when the service stops.
    ServeCatalogue({kMapV2, kVoice, kSkin, kFont});
    ASSERT_EQ(Synchronize(), (Done{1, 0, ""}));
    const int32_t font = IdOf("font-d", "1.0");
    server.Serve(kFont.FileUrlPath("d2.dat"), TestResponse::Stall("font"));
    service->PreparePackages({{font, kOperationInstall}});
    ASSERT_TRUE(server.WaitForRequests(kFont.FileUrlPath("d2.dat"), 1));
    EXPECT_EQ(StatusOf("font-d", "1.0"), "2/4");
    StopService();

    recorder.Clear();
    ASSERT_NO_FATAL_FAILURE(StartIdleService());
    EXPECT_EQ(StatusOf("font-d", "1.0"), "2/4");
    EXPECT_EQ(FileText("font-d/d1.dat~"), "font d, one");  // left for the next processing
    ASSERT_EQ(Process(), (Done{3, 0, ""}));
    EXPECT_EQ(StatusOf("font-d", "1.0"), "1/1");
    EXPECT_FALSE(Exists("font-d/d1.dat~"));
    EXPECT_FALSE(Exists("font-d/d2.dat~"));
    EXPECT_FALSE(Exists("font-d/d1.dat"));
    EXPECT_EQ(StatusOf("map-a", "2.0"), "4/1");
    EXPECT_EQ(FileText("map-a/a1.dat"), "map a 2.0, first file");
    server.ReleaseStalls();
}

}  // namespace
}  // namespace updaterlib
