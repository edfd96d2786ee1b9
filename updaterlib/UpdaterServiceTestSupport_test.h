#pragma once

// Test bench for the updater service: a data folder, a test HTTP server that serves a
// catalogue and package files, the libcurl download manager, a job pool, and a recorder of
// everything the service tells its listeners.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/core/ListenerBase.h"
#include "quorvalib/files/Aini.h"
#include "quorvalib/files/Md5.h"
#include "quorvalib/files/TestTempFolder.h"
#include "quorvalib/localization/LocalizationConfig.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "quorvalib/network/http/testing/TestHttpServer.h"
#include "quorvalib/sqlite/Command.h"
#include "quorvalib/system/AthrMan.h"
#include "tools/kestrova_wizard/http/HttpFactoryWizard.h"
#include "updaterlib/PackageTransactionFactory.h"
#include "updaterlib/UpdaterService.h"

namespace updaterlib::servicetest {

using quorvalib::network::http::testing::TestHttpServer;
using quorvalib::network::http::testing::TestResponse;

constexpr auto kLongWait = std::chrono::seconds(60);  // only a real hang reaches it
constexpr uint32_t kShortRetryMs = 20;

class Language final : public quorvalib::localization::LocalizationConfig {
public:
    std::string GetLanguageCode() const override { return "1029"; }
    std::string GetLanguageName() const override { return "czech"; }
};

// A service whose volume has as much free space as the test says.
class TestService : public UpdaterService {
public:
    using UpdaterService::UpdaterService;
    uint64_t freeSpace = UINT64_MAX;

protected:
    uint64_t _FreeSpace() const override { return freeSpace; }
};

struct Done {
    int32_t kind;
    int32_t code;
    std::string message;
    bool operator==(const Done&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Done& done) {
    return out << "{" << done.kind << ", " << done.code << ", \"" << done.message << "\"}";
}

struct Progress {
    uint32_t kind;
    uint64_t done;
    uint64_t total;
    std::string text;
};

// Everything the service emitted, in order; handlers only record and wake the test.
class Recorder : public quorvalib::core::ListenerBase {
public:
    void OnProgress(ProgressEvent& event) {
        std::lock_guard guard(lock_);
        progress_.push_back({event.kind, event.done, event.total, event.text.str()});
        if (onProgress) onProgress(event);
        changed_.notify_all();
    }
    void OnTaskDone(TaskDoneEvent& event) {
        std::lock_guard guard(lock_);
        dones_.push_back({event.kind, event.code, event.message});
        changed_.notify_all();
    }
    void OnStateChanged(StateChangedEvent& event) {
        std::lock_guard guard(lock_);
        states_.push_back({event.newState, event.oldState});
        changed_.notify_all();
    }

    bool WaitDones(size_t count) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, kLongWait, [&] { return dones_.size() >= count; });
    }
    bool WaitState(int32_t state) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, kLongWait, [&] {
            return !states_.empty() && states_.back().first == state;
        });
    }
    bool WaitProgress(std::function<bool(const Progress&)> match) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, kLongWait, [&] {
            for (const Progress& p : progress_) {
                if (match(p)) return true;
            }
            return false;
        });
    }
    std::vector<Done> Dones() {
        std::lock_guard guard(lock_);
        return dones_;
    }
    Done LastDone() {
        std::lock_guard guard(lock_);
        return dones_.empty() ? Done{-1, -1, "none"} : dones_.back();
    }
    std::vector<Progress> ProgressEvents() {
        std::lock_guard guard(lock_);
        return progress_;
    }
    std::vector<std::pair<int32_t, int32_t>> States() {
        std::lock_guard guard(lock_);
        return states_;
    }
    void Clear() {
        std::lock_guard guard(lock_);
        progress_.clear();
        dones_.clear();
        states_.clear();
    }

    // Runs under the recorder's lock on the emitting thread.
    std::function<void(ProgressEvent&)> onProgress;

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Progress> progress_;
    std::vector<Done> dones_;
    std::vector<std::pair<int32_t, int32_t>> states_;
};

// One package of a served catalogue; its files are served at /f/<name>/<version>/<path>.
struct ServedPackage {
    std::string name;
    std::string version;
    std::string group;
    std::vector<std::pair<std::string, std::string>> files;  // path, content
    std::string type = "map";

    uint32_t Size() const {
        uint32_t size = 0;
        for (const auto& file : files) size += static_cast<uint32_t>(file.second.size());
        return size;
    }
    std::string FileUrlPath(const std::string& path) const {
        return "/f/" + name + "/" + version + "/" + path;
    }
};

class ServiceBench : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running());
        settings = std::make_unique<Aini>(Astring(folder / "settings.ini"));
        settings->LoadFromText("[Updater]\nPackagesUrl=" + server.Url("/catalogue") + "\n");
        std::filesystem::create_directories(DataFolder());
    }
    void TearDown() override { StopService(); }

    std::string DataFolder() const { return folder / "data"; }

    std::shared_ptr<quorvalib::network::http::HttpDownloadManager> NewManager() {
        auto made = quorvalib::network::http::HttpDownloadManager::Create();
        made->SetFactory(std::make_unique<HttpFactoryWizard>(kestrova_wizard::TransferOptions{}));
        return made;
    }

    // Makes the service on the data folder, starts its thread and waits until it is idle.
    void StartService(const std::string& dataFolder = {}) {
        manager = NewManager();
        service = std::make_shared<TestService>(
            Astring(dataFolder.empty() ? DataFolder() : dataFolder), "wince", manager,
            &language, "linux", "1.2.3");
        service->SetSettings(settings.get());
        service->SetTransactionFactory(std::make_shared<PackageTransactionFactory>(kShortRetryMs));
        service->ConnectProgress(recorder, &Recorder::OnProgress);
        service->ConnectTaskDone(recorder, &Recorder::OnTaskDone);
        service->ConnectStateChanged(recorder, &Recorder::OnStateChanged);
        EXPECT_EQ(service->GetState(), UpdaterService::kStateMade);
        ASSERT_TRUE(service->CreateThread());
    }
    void StartIdleService() {
        ASSERT_NO_FATAL_FAILURE(StartService());
        ASSERT_TRUE(recorder.WaitState(UpdaterService::kStateIdle));
    }
    void StopService() {
        if (service) {
            service->HardStop();
            service->Disconnect(recorder);
            service.reset();
        }
        manager.reset();
    }

    // Serves a catalogue of the packages (and their files) in one group tree:
    // "maps" > each package's group.
    void ServeCatalogue(const std::vector<ServedPackage>& packages) {
        std::string groups = "<group name=\"maps\" type=\"map\"><display-name xml:lang=\"en\">"
                             "Maps</display-name></group>";
        std::vector<std::string> seen;
        std::string body;
        for (const ServedPackage& p : packages) {
            if (std::find(seen.begin(), seen.end(), p.group) == seen.end()) {
                seen.push_back(p.group);
                groups += "<group name=\"" + p.group + "\" type=\"map\"><display-name " +
                          "xml:lang=\"en\">" + p.group + "</display-name><in-group>maps" +
                          "</in-group></group>";
            }
            body += "<package name=\"" + p.name + "\" version=\"" + p.version + "\" type=\"" +
                    p.type + "\"><display-name xml:lang=\"en\">" + p.name + " " + p.version +
                    "</display-name><size>" + std::to_string(p.Size()) + "</size><in-group>" +
                    p.group + "</in-group>";
            for (const auto& [path, content] : p.files) {
                body += "<file><path dstdir=\"" + p.name + "\">" + path + "</path><checksum>" +
                        Md5::Of(content).HexDigest().str() + "</checksum><url>" +
                        server.Url(p.FileUrlPath(path)) + "</url></file>";
                server.Serve(p.FileUrlPath(path), TestResponse::Body(content));
            }
            body += "</package>";
        }
        server.Serve("/catalogue",
                     TestResponse::Body("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                        "<updates version=\"1\"><groups>" + groups +
                                        "</groups><packages>" + body + "</packages></updates>"));
    }

    // Keeps the service thread busy until the returned promise is set; commands queue behind.
    std::shared_ptr<std::promise<void>> HoldServiceThread() {
        auto release = std::make_shared<std::promise<void>>();
        std::shared_future<void> released = release->get_future().share();
        EXPECT_TRUE(service->PostCall([released] { released.wait_for(kLongWait); }));
        return release;
    }

    // Runs one command and waits for its TaskDoneEvent.
    Done Run(const std::function<void()>& command) {
        const size_t before = recorder.Dones().size();
        command();
        EXPECT_TRUE(recorder.WaitDones(before + 1)) << "the operation never ended";
        return recorder.LastDone();
    }
    Done Synchronize() { return Run([&] { service->StartSynchronization(); }); }
    Done Prepare(const std::vector<PackageOrder>& orders) {
        return Run([&] { service->PreparePackages(orders); });
    }
    Done Process() { return Run([&] { service->ProcessPackages(); }); }

    // Reads through the service's own database, under its lock.
    int32_t IdOf(const std::string& name, const std::string& version) {
        auto database = service->Database();
        std::lock_guard guard(database->Lock());
        quorvalib::sqlite::Command select(*database);
        if (!select.Create("SELECT id FROM tov_packages WHERE name = ? AND version = ?") ||
            !select.Bind(name, 1) || !select.Bind(version, 2) || !select.GetRow()) {
            return -1;
        }
        return select.GetInt(0);
    }
    // "status/operation" of a package, "gone" when it is not in the database.
    std::string StatusOf(const std::string& name, const std::string& version) {
        auto database = service->Database();
        std::lock_guard guard(database->Lock());
        quorvalib::sqlite::Command select(*database);
        if (!select.Create("SELECT status, operation FROM tov_packages "
                           "WHERE name = ? AND version = ?") ||
            !select.Bind(name, 1) || !select.Bind(version, 2) || !select.GetRow()) {
            return "gone";
        }
        return std::to_string(select.GetInt(0)) + "/" + std::to_string(select.GetInt(1));
    }
    std::string AppInfo(const char* column) {
        auto database = service->Database();
        std::lock_guard guard(database->Lock());
        quorvalib::sqlite::Command select(*database);
        if (!select.Create(std::string("SELECT ") + column + " FROM app_info") ||
            !select.GetRow()) {
            return "<none>";
        }
        return select.GetText(0);
    }

    std::string FileText(const std::string& relative) const {
        std::ifstream file(DataFolder() + "/" + relative, std::ios::binary);
        if (!file) return "<missing>";
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(DataFolder() + "/" + relative);
    }

    common::debug::testing::LogRecorder log{"ALL"};  // before any thread logs
    AthrMan pool;
    TestHttpServer server;
    TestTempFolder folder;
    std::unique_ptr<Aini> settings;
    Language language;
    Recorder recorder;
    std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager;
    std::shared_ptr<TestService> service;
};

}  // namespace updaterlib::servicetest
