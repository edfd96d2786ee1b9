#include "updaterlib/UpdaterService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "updaterlib/TransactionStatusEvent.h"
#include "updaterlib/UpdaterServiceTestSupport_test.h"

namespace updaterlib {
namespace {

using servicetest::Done;
using servicetest::Progress;
using servicetest::ServedPackage;
using servicetest::TestResponse;
using UpdaterServiceTest = servicetest::ServiceBench;

constexpr int kRefused = 17;

const ServedPackage kMap{"map-a", "1.0", "europe", {{"a1.dat", "first file of a"},
                                                    {"a2.dat", "second file of a"}}};
const ServedPackage kVoice{"voice-b", "1.0", "voices", {{"b.dat", "voice b"}}, "voice"};

TEST_F(UpdaterServiceTest, StartsIdleAndStoresEveryState) {
    StartIdleService();
    EXPECT_EQ(recorder.States(), (std::vector<std::pair<int32_t, int32_t>>{{0, 5}}));
    EXPECT_EQ(AppInfo("updater_state"), "0");
    EXPECT_EQ(service->CacheFile(), DataFolder() + "/updates/updates.xml");

    ServeCatalogue({kMap});
    EXPECT_EQ(Synchronize(), (Done{1, 0, ""}));
    EXPECT_EQ(recorder.States(),
              (std::vector<std::pair<int32_t, int32_t>>{{0, 5}, {1, 0}, {0, 1}}));
    EXPECT_EQ(AppInfo("updater_state"), "0");
}

TEST_F(UpdaterServiceTest, ADatabaseThatCannotBeOpenedLeavesTheServiceUnusable) {
    // The data folder does not exist, so the database cannot be created there.
    ASSERT_NO_FATAL_FAILURE(StartService(folder / "missing/deeper"));
    ASSERT_TRUE(recorder.WaitState(UpdaterService::kStateFailed));
    EXPECT_EQ(recorder.States(), (std::vector<std::pair<int32_t, int32_t>>{{-1, 5}}));
    EXPECT_TRUE(log.Has(common::debug::kLogError,
                        "Failed to initialize package database on service start."));
    EXPECT_EQ(Synchronize(), (Done{1, kRefused, ""}));
    EXPECT_EQ(Prepare({{1, kOperationInstall}}), (Done{2, kRefused, ""}));
    EXPECT_EQ(Process(), (Done{3, kRefused, ""}));
    EXPECT_EQ(service->GetState(), UpdaterService::kStateFailed);
}

TEST_F(UpdaterServiceTest, SynchronizationMergesTheCatalogueAndUpdatesAppInfo) {
    StartIdleService();
    ServeCatalogue({kMap, kVoice});
    EXPECT_EQ(Synchronize(), (Done{1, 0, ""}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "1/1");
    EXPECT_EQ(StatusOf("voice-b", "1.0"), "1/1");
    EXPECT_EQ(AppInfo("brand"), "1");
    EXPECT_EQ(AppInfo("platform"), "wince");

    std::vector<uint64_t> steps;
    for (const Progress& p : recorder.ProgressEvents()) {
        EXPECT_EQ(p.kind, ProgressEvent::kSynchronization);
        EXPECT_EQ(p.total, 100u);
        steps.push_back(p.done);
    }
    EXPECT_EQ(steps, (std::vector<uint64_t>{0, 25, 50, 75}));

    const auto requests = server.Requests();
    const auto catalogue = std::find_if(requests.begin(), requests.end(),
                                        [](const auto& r) { return r.path == "/catalogue"; });
    ASSERT_NE(catalogue, requests.end());
    // The request's parameters travel as the back end sends them; look for the values.
    std::string sent = catalogue->query;
    for (const char* expected : {"platform=wince", "installer=1.2.3", "installer_platform=linux",
                                 "brand=1", "lang=1029"}) {
        EXPECT_NE(sent.find(expected), std::string::npos) << expected << " in " << sent;
    }
}

TEST_F(UpdaterServiceTest, ACancelWhileIdleDoesNotSilenceTheNextSynchronization) {
    StartIdleService();
    service->Cancel();
    ServeCatalogue({kMap});
    recorder.Clear();
    EXPECT_EQ(Synchronize(), (Done{1, 0, ""}));
    EXPECT_EQ(recorder.ProgressEvents().size(), 4u);
}

TEST_F(UpdaterServiceTest, SynchronizationFailuresCarryTheirMessages) {
    StartIdleService();
    server.Serve("/catalogue", TestResponse::Status(404));
    EXPECT_EQ(Synchronize(),
              (Done{1, 6, "(Error code [6-404]). Please contact technical support."}));
    server.Serve("/catalogue", TestResponse::Body("<updates><error>Closed for repairs</error>"
                                                  "</updates>"));
    EXPECT_EQ(Synchronize(), (Done{1, 23, "Closed for repairs"}));
    EXPECT_EQ(service->GetState(), UpdaterService::kStateIdle);
}

TEST_F(UpdaterServiceTest, EveryCommandIsRefusedWhileASynchronizationRuns) {
    StartIdleService();
    server.Serve("/catalogue", TestResponse::Stall());
    service->StartSynchronization();
    ASSERT_TRUE(server.WaitForRequests("/catalogue", 1));
    EXPECT_EQ(service->GetState(), UpdaterService::kStateSynchronizing);

    EXPECT_EQ(Synchronize(), (Done{1, kRefused, ""}));
    EXPECT_EQ(Prepare({}), (Done{2, kRefused, ""}));
    EXPECT_EQ(Process(), (Done{3, kRefused, ""}));
    EXPECT_EQ(service->GetState(), UpdaterService::kStateSynchronizing);
    // The refused preparation still announced itself.
    EXPECT_EQ(recorder.ProgressEvents().back().kind, ProgressEvent::kPreparationRequested);

    EXPECT_EQ(Run([&] { service->Cancel(); }), (Done{1, 22, ""}));
    EXPECT_EQ(service->GetState(), UpdaterService::kStateIdle);

    // The cancelled request's late end is swallowed: the next run ends once, with its own
    // code (the download manager runs the next request only after the removed one ended).
    server.ReleaseStalls();
    ServeCatalogue({kMap});
    EXPECT_EQ(Synchronize(), (Done{1, 0, ""}));
    const auto dones = recorder.Dones();
    EXPECT_EQ(dones, (std::vector<Done>{{1, kRefused, ""}, {2, kRefused, ""}, {3, kRefused, ""},
                                        {1, 22, ""}, {1, 0, ""}}));
}

TEST_F(UpdaterServiceTest, PreparationIsRefusedWhileProcessingAndProcessingTwiceIsIgnored) {
    StartIdleService();
    ServeCatalogue({kMap});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    ASSERT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 0, ""}));
    {
        // The processing waits behind the held service thread.
        auto hold = HoldServiceThread();
        service->ProcessPackages();
        EXPECT_EQ(service->GetState(), UpdaterService::kStateProcessing);
        const size_t before = recorder.Dones().size();
        service->ProcessPackages();  // nothing, not even an answer
        EXPECT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, kRefused, ""}));
        EXPECT_EQ(recorder.Dones().size(), before + 1);
        hold->set_value();
    }
    ASSERT_TRUE(recorder.WaitDones(recorder.Dones().size() + 1));
    EXPECT_EQ(recorder.LastDone(), (Done{3, 0, ""}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "4/1");
}

TEST_F(UpdaterServiceTest, PreparingPackagesAlreadyPreparedEndsAtOnce) {
    StartIdleService();
    ServeCatalogue({kMap});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    ASSERT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 0, ""}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "3/4");
    const size_t requests = server.Requests().size();
    recorder.Clear();
    EXPECT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 0, ""}));
    EXPECT_EQ(server.Requests().size(), requests);  // nothing downloaded again
    // Only the request's own announcement: no download or check progress.
    for (const Progress& p : recorder.ProgressEvents()) {
        EXPECT_EQ(p.kind, ProgressEvent::kPreparationRequested);
    }
}

TEST_F(UpdaterServiceTest, NotEnoughFreeSpaceKeepsTheOrders) {
    StartIdleService();
    ServeCatalogue({kMap, kVoice});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    service->freeSpace = kMap.Size() - 1;
    EXPECT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 21, "not enough free space"}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "1/4");
    EXPECT_EQ(service->GetState(), UpdaterService::kStateIdle);

    // Exactly enough passes; a removal-only preparation never checks.
    service->freeSpace = kMap.Size();
    EXPECT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 0, ""}));
    ASSERT_EQ(Process(), (Done{3, 0, ""}));
    service->freeSpace = 0;
    EXPECT_EQ(Prepare({{map, kOperationUninstall}}), (Done{2, 0, ""}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "1/1");
}

TEST_F(UpdaterServiceTest, ProcessingWithNothingToDoEndsWithZero) {
    StartIdleService();
    EXPECT_EQ(Process(), (Done{3, 0, ""}));
    EXPECT_EQ(service->GetState(), UpdaterService::kStateIdle);
}

TEST_F(UpdaterServiceTest, FailedPreparationsCarryTheirCodeAndText) {
    StartIdleService();
    ServedPackage broken = kMap;
    ServeCatalogue({broken});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");

    // Every download of the second file fails: retried once, then the package fails.
    server.Serve(kMap.FileUrlPath("a2.dat"), TestResponse::Status(404));
    EXPECT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 6, "download failed"}));
    EXPECT_EQ(StatusOf("map-a", "1.0"), "2/4");

    // Other bytes than the catalogue's digest: the check fails twice.
    server.Serve(kMap.FileUrlPath("a2.dat"), TestResponse::Body("not what the digest says"));
    EXPECT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 19, "file integrity check failed"}));
}

TEST_F(UpdaterServiceTest, DatabaseFailuresEndWithTheirCodes) {
    StartIdleService();
    ServeCatalogue({kMap});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    {
        auto database = service->Database();
        std::lock_guard guard(database->Lock());
        ASSERT_TRUE(database->ExecuteNonQuery("DROP TABLE tov_package_files"));
    }
    EXPECT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 8, "internal error"}));
    EXPECT_EQ(Process(), (Done{3, 9, ""}));
    EXPECT_EQ(service->GetState(), UpdaterService::kStateIdle);
}

TEST_F(UpdaterServiceTest, CancellingAPreparationSilencesItsProgressAndEndsWith22) {
    StartIdleService();
    ServeCatalogue({kMap});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    server.Serve(kMap.FileUrlPath("a2.dat"), TestResponse::Stall("second"));
    recorder.Clear();

    service->PreparePackages({{map, kOperationInstall}});
    ASSERT_TRUE(server.WaitForRequests(kMap.FileUrlPath("a2.dat"), 1));
    EXPECT_EQ(Run([&] { service->Cancel(); }), (Done{2, 22, "cancelled"}));
    service->Cancel();  // idle now: announced once more, nothing to abort

    const auto progress = recorder.ProgressEvents();
    const auto cancel = std::find_if(progress.begin(), progress.end(), [](const Progress& p) {
        return p.kind == ProgressEvent::kCancellationRequested;
    });
    ASSERT_NE(cancel, progress.end());
    EXPECT_EQ(progress.front().kind, ProgressEvent::kPreparationRequested);
    EXPECT_TRUE(std::any_of(progress.begin(), cancel, [](const Progress& p) {
        return p.kind == ProgressEvent::kDownloading;
    }));
    for (auto it = cancel; it != progress.end(); ++it) {
        EXPECT_EQ(it->kind, ProgressEvent::kCancellationRequested);
    }
    EXPECT_EQ(StatusOf("map-a", "1.0"), "1/1");
    EXPECT_FALSE(Exists("map-a/a1.dat~"));
    server.ReleaseStalls();
}

TEST_F(UpdaterServiceTest, ACancelBeforeTheTransactionStartsStillAbortsIt) {
    StartIdleService();
    ServeCatalogue({kMap});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    recorder.Clear();
    const size_t before = recorder.Dones().size();
    {
        // The orders are stored only once the held service thread goes on.
        auto hold = HoldServiceThread();
        service->PreparePackages({{map, kOperationInstall}});
        service->Cancel();
        hold->set_value();
    }
    ASSERT_TRUE(recorder.WaitDones(before + 1));
    EXPECT_EQ(recorder.LastDone(), (Done{2, 22, "cancelled"}));
    for (const Progress& p : recorder.ProgressEvents()) {
        EXPECT_NE(p.kind, ProgressEvent::kDownloading);
        EXPECT_NE(p.kind, ProgressEvent::kChecking);
    }
    EXPECT_EQ(StatusOf("map-a", "1.0"), "1/1");
}

TEST_F(UpdaterServiceTest, ACancelledProcessingEndsWith22AndPutsTheOrdersBack) {
    StartIdleService();
    ServeCatalogue({kMap});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    ASSERT_EQ(Prepare({{map, kOperationInstall}}), (Done{2, 0, ""}));
    const size_t before = recorder.Dones().size();
    {
        // The abort command queues behind the processing, behind the held service thread.
        auto hold = HoldServiceThread();
        service->ProcessPackages();
        service->Cancel();
        service->Cancel();  // already requested: nothing more
        hold->set_value();
    }
    ASSERT_TRUE(recorder.WaitDones(before + 1));
    EXPECT_EQ(recorder.LastDone(), (Done{3, 22, ""}));
    size_t announced = 0;
    for (const Progress& p : recorder.ProgressEvents()) {
        announced += p.kind == ProgressEvent::kCancellationRequested;
    }
    EXPECT_EQ(announced, 1u);
    EXPECT_EQ(StatusOf("map-a", "1.0"), "1/1");
    EXPECT_EQ(service->GetState(), UpdaterService::kStateIdle);
}

TEST_F(UpdaterServiceTest, ProcessingReportsInstallAndRemovalProgress) {
    StartIdleService();
    ServeCatalogue({kMap, kVoice});
    ASSERT_EQ(Synchronize().code, 0);
    const int32_t map = IdOf("map-a", "1.0");
    const int32_t voice = IdOf("voice-b", "1.0");
    ASSERT_EQ(Prepare({{map, kOperationInstall}, {voice, kOperationInstall}}), (Done{2, 0, ""}));
    recorder.Clear();
    ASSERT_EQ(Process(), (Done{3, 0, ""}));
    std::vector<uint64_t> installed;
    for (const Progress& p : recorder.ProgressEvents()) {
        ASSERT_EQ(p.kind, ProgressEvent::kInstalling);
        EXPECT_EQ(p.total, 3u);  // files of both packages
        installed.push_back(p.done);
    }
    EXPECT_EQ(installed, (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(FileText("map-a/a1.dat"), "first file of a");
    EXPECT_EQ(FileText("voice-b/b.dat"), "voice b");

    recorder.Clear();
    ASSERT_EQ(Prepare({{map, kOperationUninstall}}), (Done{2, 0, ""}));
    std::vector<uint64_t> removed;
    for (const Progress& p : recorder.ProgressEvents()) {
        if (p.kind == ProgressEvent::kRemoving) {
            EXPECT_EQ(p.total, 2u);
            removed.push_back(p.done);
        }
    }
    EXPECT_EQ(removed, (std::vector<uint64_t>{1, 2}));
    EXPECT_FALSE(Exists("map-a/a1.dat"));
}

TEST_F(UpdaterServiceTest, ModelFactoriesReadTheServicesDatabase) {
    StartIdleService();
    ServeCatalogue({kMap, kVoice});
    ASSERT_EQ(Synchronize().code, 0);
    auto top = service->CreateGroupModel(GroupModel::kInstall, GroupModel::kTopLevel);
    ASSERT_EQ(top->RowCount(), 1);
    EXPECT_STREQ(top->GetText(0, GroupModel::kGroupName), "Maps");
    EXPECT_EQ(top->GetInt(0, GroupModel::kChildrenCount), 2);
    auto groups = service->CreateGroupModel(GroupModel::kInstall,
                                            top->GetInt(0, GroupModel::kGroupId));
    ASSERT_EQ(groups->RowCount(), 2);
    int32_t europe = -1;
    for (int32_t row = 0; row < groups->RowCount(); ++row) {
        if (std::string(groups->GetText(row, GroupModel::kGroupName)) == "europe") {
            europe = groups->GetInt(row, GroupModel::kGroupId);
        }
    }
    auto packages = service->CreatePackageModel(PackageModel::kInstall, europe);
    ASSERT_EQ(packages->RowCount(), 1);
    EXPECT_STREQ(packages->GetText(0, PackageModel::kName), "map-a 1.0");
    EXPECT_EQ(packages->GetInt(0, PackageModel::kSize), static_cast<int32_t>(kMap.Size()));
    EXPECT_EQ(service->CreatePackageModel(PackageModel::kUninstall, europe)->RowCount(), 0);
}

TEST(UpdaterResultTest, CodesAndTexts) {
    const std::vector<std::pair<int32_t, const char*>> texts = {
        {0, ""}, {1, "internal error"}, {5, "internal error"}, {6, "download failed"}, {7, ""},
        {8, "internal error"}, {9, "internal error"}, {13, "internal error"}, {14, ""},
        {15, "internal error"}, {16, "internal error"},
        {17, "something went wrong and we don't know what"}, {18, ""},
        {19, "file integrity check failed"}, {20, "I/O"}, {21, "not enough free space"},
        {22, "cancelled"}, {23, ""}, {24, "unknown"}, {25, "network access was denied"},
        {26, "version change check"}, {27, ""}, {-1, ""}};
    for (const auto& [code, text] : texts) {
        EXPECT_STREQ(UpdaterResultText(code), text) << code;
    }
}

TEST(UpdaterResultTest, TransactionEndsBecomeResultCodes) {
    struct Case {
        int32_t result;
        uint32_t category;
        int32_t code;
    };
    const std::vector<Case> cases = {
        {TransactionStatusEvent::kDone, 0, 0},   {TransactionStatusEvent::kTaskFailed, 0, 22},
        {TransactionStatusEvent::kAborted, 0, 22}, {TransactionStatusEvent::kTaskFailed, 1, 6},
        {TransactionStatusEvent::kTaskFailed, 2, 6}, {TransactionStatusEvent::kTaskFailed, 3, 19},
        {TransactionStatusEvent::kTaskFailed, 4, 20}, {TransactionStatusEvent::kTaskFailed, 5, 8},
        {TransactionStatusEvent::kAborted, 6, 17}, {TransactionStatusEvent::kTaskFailed, 9, 17},
    };
    for (const Case& c : cases) {
        const TransactionStatusEvent status(nullptr, c.result, TaskError::Make(c.category, 1));
        EXPECT_EQ(UpdaterService::ResultCodeOf(status), c.code) << c.result << "/" << c.category;
    }
}

}  // namespace
}  // namespace updaterlib
