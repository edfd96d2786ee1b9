#pragma once

// Test bench for package transactions: a data folder with a real package database, a test
// HTTP server, the libcurl download manager, a job pool and a service thread of our own.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/core/ListenerBase.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/files/Md5.h"
#include "quorvalib/files/TestTempFolder.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "quorvalib/network/http/testing/TestHttpServer.h"
#include "quorvalib/sqlite/Command.h"
#include "quorvalib/system/Athr.h"
#include "quorvalib/system/AthrMan.h"
#include "tools/kestrova_wizard/http/HttpFactoryWizard.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageTransaction.h"
#include "updaterlib/PackageTransactionFactory.h"
#include "updaterlib/TransactionHost.h"

namespace updaterlib {

inline void PrintTo(const TaskError& error, std::ostream* out) {
    *out << "{category " << error.category << ", error " << error.error << ", code " << error.code
         << "}";
}

}  // namespace updaterlib

namespace updaterlib::testing {

constexpr auto kLongWait = std::chrono::seconds(60);  // only a real hang reaches it

// The database with the reads a test needs; every call holds the database's lock.
class TestDatabase : public PackageDatabase {
public:
    Package Read(int32_t id) {
        std::lock_guard guard(Lock());
        std::vector<Package> packages;
        EXPECT_EQ(_ReadPackagesByIds({id}, packages), kOk);
        return packages.empty() ? Package{} : packages.front();
    }
    int32_t IdOf(const std::string& name) {
        std::lock_guard guard(Lock());
        quorvalib::sqlite::Command select(*this);
        if (!select.Create("SELECT id FROM tov_packages WHERE name = :name") ||
            !select.Bind(name, ":name") || !select.GetRow()) {
            return -1;
        }
        return select.GetInt(0);
    }
    bool Execute(const std::string& sql) {
        std::lock_guard guard(Lock());
        return ExecuteNonQuery(sql);
    }
};

// Stands in for the updater service; hooks run on the service thread.
class HostStandIn : public TransactionHost {
public:
    std::shared_ptr<PackageDatabase> Database() override { return database; }
    Astring DataFolder() const override { return dataFolder; }
    std::shared_ptr<quorvalib::network::http::HttpDownloadManager> DownloadManager() override {
        return manager;
    }
    Athr& ServiceThread() override { return *thread; }
    void PostProgress(std::unique_ptr<ProgressEvent> progress) override {
        {
            std::lock_guard guard(lock_);
            progress_.push_back(*progress);
        }
        if (onProgress) onProgress(*progress);
    }
    void ReportProcessProgress(PackageTransaction& transaction) override {
        if (onProcessProgress) onProcessProgress(transaction);
    }
    std::vector<ProgressEvent> Progress() {
        std::lock_guard guard(lock_);
        return progress_;
    }

    std::shared_ptr<TestDatabase> database;
    Astring dataFolder;
    std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager;
    std::shared_ptr<Athr> thread;
    std::function<void(const ProgressEvent&)> onProgress;
    std::function<void(PackageTransaction&)> onProcessProgress;

private:
    std::mutex lock_;
    std::vector<ProgressEvent> progress_;
};

struct Outcome {
    bool started = false;
    int32_t result = -1;
    TaskError error;
};

class StatusRecorder : public quorvalib::core::ListenerBase {
public:
    void OnStatus(TransactionStatusEvent& event) {
        std::lock_guard guard(lock_);
        ends_.push_back({true, event.result, event.error});
        changed_.notify_all();
    }
    bool WaitEnds(size_t count) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, kLongWait, [&] { return ends_.size() >= count; });
    }
    std::vector<Outcome> Ends() {
        std::lock_guard guard(lock_);
        return ends_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Outcome> ends_;
};

class TransactionBench : public ::testing::Test {
protected:
    static constexpr uint32_t kShortRetryMs = 20;

    void SetUp() override {
        ASSERT_TRUE(server.Running());
        ASSERT_EQ(database->Init(folder.Path()), PackageDatabase::kOk);
        manager->SetFactory(
            std::make_unique<HttpFactoryWizard>(kestrova_wizard::TransferOptions{}));
        ASSERT_TRUE(thread->CreateThread());
        host.database = database;
        host.dataFolder = Astring(folder.Path());
        host.manager = manager;
        host.thread = thread;
    }
    void TearDown() override {
        OnThread([&] { transaction.reset(); });
        thread->HardStop();
    }

    // Runs `call` on the service thread and waits for it.
    void OnThread(std::function<void()> call) {
        std::promise<void> done;
        std::future<void> ran = done.get_future();
        ASSERT_TRUE(thread->PostCall([&] {
            call();
            done.set_value();
        }));
        ASSERT_EQ(ran.wait_for(kLongWait), std::future_status::ready) << "service thread hangs";
    }

    // One whole transaction: made, started and waited for on the service thread. The
    // previous one is destroyed first.
    Outcome Run(int32_t mode, const std::vector<Package>& packages,
                uint32_t retryMs = kShortRetryMs) {
        PackageTransactionFactory factory(retryMs);
        Outcome outcome;
        const size_t endsBefore = status.Ends().size();
        OnThread([&] {
            transaction.reset();
            transaction = factory.CreateTransaction(host, mode, packages);
            if (!transaction) return;
            quorvalib::core::Connect(status, transaction->StatusNotifier(),
                                     &StatusRecorder::OnStatus);
            outcome.started = transaction->Start();
        });
        if (!transaction || (!outcome.started && transaction->Tasks().empty())) return outcome;
        EXPECT_TRUE(status.WaitEnds(endsBefore + 1)) << "the transaction never ended";
        const auto ends = status.Ends();
        if (ends.size() > endsBefore) {
            outcome.result = ends[endsBefore].result;
            outcome.error = ends[endsBefore].error;
        }
        return outcome;
    }

    // A file served by the test server at /f/<path>.
    PackageFile File(const std::string& path, const std::string& content,
                     const std::string& dir = {}) {
        PackageFile file;
        file.file_path = path;
        file.target_dir = dir;
        const auto digest = Md5::Of(content).Bytes();
        file.md5.assign(digest.begin(), digest.end());
        file.source_path = server.Url("/f/" + path);
        return file;
    }

    // Writes the catalogue and gives each package its id and its files' ids.
    void AddToDatabase(std::vector<Package*> packages) {
        PackageGroup group;
        group.name = "G";
        std::vector<Package> copies;
        for (Package* package : packages) {
            package->groups = {"G"};
            if (package->status == 0) package->status = kStatusAvailable;
            if (package->operation == 0) package->operation = kOperationNone;
            if (package->version.empty()) package->version = "1.0";
            copies.push_back(*package);
        }
        ASSERT_EQ(database->UpdateDatabase({group}, copies), PackageDatabase::kOk);
        for (Package* package : packages) {
            package->id = database->IdOf(package->name);
            ASSERT_GT(package->id, 0);
            *package = database->Read(package->id);
        }
    }

    // Sets the orders as the service does and returns the packages as they are then.
    std::vector<Package> Order(const std::vector<PackageOrder>& orders) {
        std::vector<Package> packages;
        EXPECT_EQ(database->SetPackageOrders(orders, packages), PackageDatabase::kOk);
        return packages;
    }

    std::vector<int32_t> Modes(int32_t packageId) {
        std::vector<int32_t> modes;
        for (const PackageFile& file : database->Read(packageId).files) modes.push_back(file.mode);
        return modes;
    }

    std::string Path(const std::string& relative) const { return folder / relative; }

    common::debug::testing::LogRecorder log{"ALL"};  // before any thread logs
    AthrMan pool;
    quorvalib::network::http::testing::TestHttpServer server;
    TestTempFolder folder;
    std::shared_ptr<TestDatabase> database = std::make_shared<TestDatabase>();
    std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager =
        quorvalib::network::http::HttpDownloadManager::Create();
    std::shared_ptr<Athr> thread = std::make_shared<Athr>();
    HostStandIn host;
    StatusRecorder status;
    std::unique_ptr<PackageTransaction> transaction;  // touched only on the service thread
};

}  // namespace updaterlib::testing
