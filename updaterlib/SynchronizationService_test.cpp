#include "updaterlib/SynchronizationService.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>

#include "quorvalib/files/Aini.h"
#include "quorvalib/files/TestTempFolder.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "quorvalib/network/http/HttpEventRecorder_test.h"
#include "quorvalib/network/http/testing/TestHttpServer.h"
#include "tools/kestrova_wizard/http/HttpFactoryWizard.h"
#include "updaterlib/CatalogueGenerator.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/SynchronizationHost.h"

namespace updaterlib {
namespace {

using quorvalib::network::http::HttpDownloadManager;
using quorvalib::network::http::HttpEventRecorder;
using quorvalib::network::http::testing::TestHttpServer;
using quorvalib::network::http::testing::TestResponse;

struct Step {
    uint64_t done;
    std::string text;
    bool operator==(const Step&) const = default;
};
struct Done {
    int code;
    std::string message;
    bool operator==(const Done&) const = default;
};

const std::vector<Step> kSteps = {{0, "preparing for download"},
                                  {25, "downloading available packages info"},
                                  {50, "parsing packages info"},
                                  {75, "merging database info"}};

std::vector<Step> FirstSteps(size_t count) { return {kSteps.begin(), kSteps.begin() + count}; }

// Stands in for the updater service: records steps and ends, merges into a real database.
class HostStandIn : public SynchronizationHost {
public:
    std::string GetLanguageCode() const override { return "cs"; }
    void PostProgress(std::unique_ptr<ProgressEvent> progress) override {
        std::lock_guard guard(lock_);
        EXPECT_EQ(progress->kind, ProgressEvent::kSynchronization);
        EXPECT_EQ(progress->total, 100u);
        steps_.push_back({progress->done, progress->text.str()});
    }
    int MergeCatalogue(const std::vector<PackageGroup>& groups,
                       const std::vector<Package>& packages) override {
        std::lock_guard guard(lock_);
        for (const auto& package : packages) merged_.push_back(package.name);
        mergedGroups_ += groups.size();
        return database.UpdateDatabase(groups, packages);
    }
    void OnSynchronizationDone(int code, const std::string& message) override {
        std::lock_guard guard(lock_);
        dones_.push_back({code, message});
        changed_.notify_all();
    }

    bool WaitDone() {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(60), [&] { return !dones_.empty(); });
    }
    std::vector<Done> Dones() {
        std::lock_guard guard(lock_);
        return dones_;
    }
    std::vector<Step> Steps() {
        std::lock_guard guard(lock_);
        return steps_;
    }
    std::vector<std::string> Merged() {
        std::lock_guard guard(lock_);
        return merged_;
    }
    size_t MergedGroups() {
        std::lock_guard guard(lock_);
        return mergedGroups_;
    }
    void Clear() {
        std::lock_guard guard(lock_);
        dones_.clear();
        steps_.clear();
        merged_.clear();
    }

    PackageDatabase database;  // not opened unless a test opens it: the merge then fails

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Step> steps_;
    std::vector<Done> dones_;
    std::vector<std::string> merged_;
    size_t mergedGroups_ = 0;
};

struct Fixture {
    TestHttpServer server;
    TestTempFolder folder;
    std::shared_ptr<HttpDownloadManager> manager = HttpDownloadManager::Create();
    HostStandIn host;
    std::unique_ptr<Aini> settings;
    std::string cachePath = folder / "updates/catalogue.xml";

    Fixture() {
        manager->SetFactory(std::make_unique<HttpFactoryWizard>(kestrova_wizard::TransferOptions{}));
        UseSettings("[Updater]\nPackagesUrl=" + server.Url("/catalogue") + "\n");
    }
    void UseSettings(const std::string& text) {
        settings = std::make_unique<Aini>(Astring(folder / "tovwizard.ini"));
        settings->LoadFromText(text);
    }
    std::unique_ptr<SynchronizationService> Make(std::shared_ptr<HttpDownloadManager> with) {
        const SynchronizationTarget target{"1", "wince", "", "linux", "1.0.0"};
        return std::make_unique<SynchronizationService>(target, nullptr, cachePath, std::move(with),
                                                        &host, settings.get());
    }
    std::unique_ptr<SynchronizationService> Make() { return Make(manager); }
    // One whole run: its one end.
    Done Run(SynchronizationService& service) {
        service.Synchronize();
        EXPECT_TRUE(host.WaitDone()) << "the synchronization never ended";
        const auto dones = host.Dones();
        EXPECT_EQ(dones.size(), 1u);
        return dones.empty() ? Done{-1, ""} : dones.front();
    }
};

std::string SmallCatalogue() {
    CatalogueShape shape;
    shape.packages = 3;
    shape.filesPerPackage = 1;
    shape.groups = 2;
    return CatalogueGenerator(shape).Document();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SynchronizationService, FetchesParsesAndMergesTheCatalogue) {
    Fixture f;
    const std::string catalogue = SmallCatalogue();
    f.server.Serve("/catalogue", TestResponse::Body(catalogue));
    ASSERT_EQ(f.host.database.Init(f.folder.Path()), PackageDatabase::kOk);
    // The cache folder exists and holds an old, longer file: it is replaced.
    std::filesystem::create_directories(f.folder / "updates");
    std::ofstream(f.cachePath) << std::string(catalogue.size() * 2, 'x');

    auto service = f.Make();
    EXPECT_EQ(f.Run(*service), (Done{0, ""}));
    EXPECT_EQ(f.host.Steps(), kSteps);
    EXPECT_EQ(f.host.Merged(), (std::vector<std::string>{"package-0", "package-1", "package-2"}));
    EXPECT_EQ(f.host.MergedGroups(), 2u);
    EXPECT_EQ(ReadFile(f.cachePath), catalogue);  // stays on disk after the run
    EXPECT_EQ(service->RequestId(), SynchronizationService::kNoRequest);
}

TEST(SynchronizationService, AnswersAndTheirResults) {
    const std::string catalogue = SmallCatalogue();
    const std::string notFound = SynchronizationService::HttpErrorMessage(404);
    EXPECT_EQ(notFound, "(Error code [6-404]). Please contact technical support.");
    const struct {
        const char* name;
        TestResponse answer;
        bool openDatabase;
        Done done;
        size_t steps;
    } cases[] = {
        {"404 status", TestResponse::Status(404), true, {6, notFound}, 2},
        {"HTML 404 page", TestResponse::Html404(), true, {6, notFound}, 2},
        {"server failure", TestResponse::Body("busy", 503), true,
         {6, "(Error code [6-503]). Please contact technical support."}, 2},
        {"truncated catalogue", TestResponse::Body(catalogue.substr(0, catalogue.size() / 2)), true, {7, ""}, 3},
        {"error text from the server",
         TestResponse::Body("<updates><error code='17' xml:lang='en'>No such device</error></updates>"), true,
         {23, "No such device"}, 3},
        {"merge fails", TestResponse::Body(catalogue), false, {8, ""}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.server.Serve("/catalogue", c.answer);
        if (c.openDatabase) {
            ASSERT_EQ(f.host.database.Init(f.folder.Path()), PackageDatabase::kOk);
        }
        auto service = f.Make();
        EXPECT_EQ(f.Run(*service), c.done);
        EXPECT_EQ(f.host.Steps(), FirstSteps(c.steps));
        // Only a whole catalogue without an error text reaches the merge.
        EXPECT_EQ(f.host.Merged().empty(), c.done.code != 8);
    }
}

TEST(SynchronizationService, ServerThatNeverAnswersGivesTheConnectionMessage) {
    int closedPort;
    {
        TestHttpServer closed;
        closedPort = closed.Port();
    }
    Fixture f;
    f.UseSettings("[Updater]\nPackagesUrl=http://127.0.0.1:" + std::to_string(closedPort) + "/c\n");
    auto service = f.Make();
    EXPECT_EQ(f.Run(*service), (Done{6, SynchronizationService::kConnectionMessage}));
    EXPECT_EQ(f.host.Steps(), FirstSteps(2));
}

TEST(SynchronizationService, LocalFailuresEndBeforeAnythingIsDownloaded) {
    const struct {
        const char* name;
        const char* cache;  // below the test folder; empty: none
        bool manager;
        bool factory;
        int code;
        size_t steps;
    } cases[] = {
        {"no download manager", "updates/c.xml", false, true, 1, 1},
        {"cache path without a folder", "", true, true, 2, 1},
        {"cache folder cannot be made", "plain/updates/c.xml", true, true, 3, 1},
        {"old cache file cannot be deleted", "busy/c.xml", true, true, 4, 1},
        {"request refused", "updates/c.xml", true, false, 5, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.cachePath = *c.cache ? f.folder / c.cache : "catalogue.xml";
        std::ofstream(f.folder / "plain") << "a file, not a folder";
        std::filesystem::create_directories(f.folder / "busy/c.xml");
        std::ofstream(f.folder / "busy/c.xml/inside") << "keeps the folder from being deleted";
        std::shared_ptr<HttpDownloadManager> manager;
        if (c.manager) manager = c.factory ? f.manager : HttpDownloadManager::Create();
        auto service = f.Make(manager);
        EXPECT_EQ(f.Run(*service), (Done{c.code, ""}));
        EXPECT_EQ(f.host.Steps(), FirstSteps(c.steps));
        EXPECT_TRUE(f.server.Requests().empty());
    }
}

TEST(SynchronizationService, RequestParametersInOrder) {
    const struct {
        const char* rcStatus;  // the settings line, or null
        const char* query;
    } cases[] = {
        {nullptr, "platform=wince&appversion=&installer=1.0.0&installer_platform=linux&brand=1&lang=cs"},
        {"RcStatus=2", "platform=wince&appversion=&installer=1.0.0&installer_platform=linux&brand=1&lang=cs"
                       "&rcstatus=2"},
        {"RcStatus=0", "platform=wince&appversion=&installer=1.0.0&installer_platform=linux&brand=1&lang=cs"
                       "&rcstatus=0"},
        {"RcStatus=-3", "platform=wince&appversion=&installer=1.0.0&installer_platform=linux&brand=1&lang=cs"},
        {"RcStatus=beta", "platform=wince&appversion=&installer=1.0.0&installer_platform=linux&brand=1&lang=cs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rcStatus ? c.rcStatus : "no RcStatus");
        Fixture f;
        f.server.Serve("/catalogue", TestResponse::Status(404));
        f.UseSettings("[Updater]\nPackagesUrl=" + f.server.Url("/catalogue") + "\n" +
                      (c.rcStatus ? std::string(c.rcStatus) + "\n" : ""));
        auto service = f.Make();
        f.Run(*service);
        const auto requests = f.server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].path, "/catalogue");
        EXPECT_EQ(requests[0].query, c.query);
    }
}

TEST(SynchronizationService, PackagesUrlDefaultIsWrittenBack) {
    const struct {
        const char* text;
        const char* url;
        bool written;
    } cases[] = {
        {"", SynchronizationService::kDefaultPackagesUrl, true},
        {"[Updater]\nRcStatus=1\n", SynchronizationService::kDefaultPackagesUrl, true},
        {"[Updater]\nPackagesUrl=\n", SynchronizationService::kDefaultPackagesUrl, true},
        {"[Updater]\nPackagesUrl=;http://old/\n", SynchronizationService::kDefaultPackagesUrl, true},
        {"[Updater]\nPackagesUrl=http://mirror/c\n", "http://mirror/c", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TestTempFolder folder;
        const std::string path = folder / "tovwizard.ini";
        Aini settings{Astring(path)};
        settings.LoadFromText(c.text);
        SynchronizationService service({}, nullptr, folder / "c.xml", nullptr, nullptr, &settings);
        EXPECT_EQ(service.BaseUrl(), c.url);
        EXPECT_EQ(settings.ReadString("Updater", "PackagesUrl").str(), c.url);
        Aini reread{Astring(path)};
        reread.Load();
        EXPECT_EQ(reread.ReadString("Updater", "PackagesUrl").str(), c.written ? c.url : "");
    }
}

TEST(SynchronizationService, CancelledRunSwallowsItsLateEnd) {
    Fixture f;
    f.server.Serve("/catalogue", TestResponse::Stall());
    ASSERT_EQ(f.host.database.Init(f.folder.Path()), PackageDatabase::kOk);
    auto service = f.Make();

    // Cancelled while its transfer runs: the end comes later, with 450, and is swallowed.
    service->Synchronize();
    ASSERT_TRUE(f.server.WaitForRequests("/catalogue", 1));
    {
        HttpEventRecorder after(f.manager);  // connected after the service: sees the end after it
        service->Cancel();
        ASSERT_TRUE(after.WaitForEnds(1));
        EXPECT_EQ(after.Ends()[0].code, 450);
    }
    EXPECT_TRUE(f.host.Dones().empty());

    // Cancelled while queued behind another transfer: removed at once, swallowed as well.
    f.host.Clear();
    auto blocker = f.manager->CreateRequest(std::make_shared<std::ostringstream>());
    blocker->SetUrl(f.server.Url("/catalogue"));
    const uint64_t blocking = f.manager->Submit(std::move(blocker));
    service->Synchronize();
    const uint64_t queued = service->RequestId();
    {
        HttpEventRecorder after(f.manager);
        service->Cancel();
        EXPECT_EQ(after.Ends(), (std::vector<HttpEventRecorder::End>{{queued, 450}}));
        // Running or still queued behind the first run's ending transfer: either way it ends.
        f.manager->RemoveTask(blocking);
        ASSERT_TRUE(after.WaitForEnds(2));
    }
    EXPECT_TRUE(f.host.Dones().empty());

    // The same service runs again normally.
    f.host.Clear();
    f.server.Serve("/catalogue", TestResponse::Body(SmallCatalogue()));
    EXPECT_EQ(f.Run(*service), (Done{0, ""}));
    EXPECT_EQ(f.host.Steps(), kSteps);
}

}  // namespace
}  // namespace updaterlib
