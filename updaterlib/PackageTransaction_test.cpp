#include "updaterlib/PackageTransaction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "updaterlib/LocalPackageFileTask.h"
#include "updaterlib/PackageFileTask.h"
#include "updaterlib/PackageTransactionTestSupport_test.h"

namespace updaterlib::testing {
namespace {

using quorvalib::network::http::testing::TestResponse;

std::string Content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

TaskError Error(uint32_t category, uint32_t code) { return TaskError::Make(category, code); }

Package MakePackage(const std::string& name, std::vector<PackageFile> files) {
    Package package(name, "1.0", kTypeMap, false);
    package.files = std::move(files);
    return package;
}

// Every package of an aborted transaction is back as before: available, no order, files not
// downloaded and no "~" copies.
void ExpectReverted(TestDatabase& database, const Package& package, const TestTempFolder& folder) {
    const Package now = database.Read(package.id);
    EXPECT_EQ(now.status, kStatusAvailable) << package.name;
    EXPECT_EQ(now.operation, kOperationNone) << package.name;
    for (const PackageFile& file : now.files) {
        EXPECT_EQ(file.mode, kFileNotDownloaded) << file.file_path;
        EXPECT_FALSE(std::filesystem::exists(folder / (file.file_path + "~"))) << file.file_path;
    }
}

class Transactions : public TransactionBench {
protected:
    bool Logged(const std::string& channel, int level, const std::string& message) {
        const auto lines = log.Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
            return line.channel == channel && line.level == level && line.message == message;
        });
    }
    size_t LogIndex(const std::string& message) {
        const auto lines = log.Lines();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].message == message) return i;
        }
        return lines.size();
    }
    // Requests for each path, in arrival order.
    std::vector<std::string> RequestedPaths() {
        std::vector<std::string> paths;
        for (const auto& request : server.Requests()) paths.push_back(request.path);
        return paths;
    }
};

TEST_F(Transactions, PackageWithSeveralFilesIsPreparedThenInstalled) {
    const std::string a = "first file", b(70000, 'b'), c = "third, checked by nobody";
    Package package = MakePackage("europe", {File("a.bin", a), File("b.bin", b, "maps/eu"),
                                             File("c.bin", c)});
    package.files[2].md5.clear();  // no digest: any content passes
    package.size = static_cast<uint32_t>(a.size() + b.size() + c.size());
    AddToDatabase({&package});
    for (const auto& name : {"a.bin", "b.bin", "c.bin"}) {
        const std::string content = name[0] == 'a' ? a : name[0] == 'b' ? b : c;
        server.Serve(std::string("/f/") + name, TestResponse::Body(content));
    }
    EXPECT_EQ(Modes(package.id), (std::vector<int32_t>{1, 1, 1}));
    EXPECT_EQ(database->Read(package.id).status, kStatusAvailable);

    // What the database says while the files are downloaded and checked.
    std::set<int32_t> modesSeen, statusesSeen;
    host.onProgress = [&](const ProgressEvent&) {
        const Package now = database->Read(package.id);
        statusesSeen.insert(now.status);
        for (const auto& file : now.files) modesSeen.insert(file.mode);
    };
    const Outcome prepared = Run(PackageTransaction::kPrepare, Order({{package.id, 4}}));
    EXPECT_TRUE(prepared.started);
    EXPECT_EQ(prepared.result, TransactionStatusEvent::kDone);
    EXPECT_FALSE(prepared.error.IsError());
    EXPECT_TRUE(statusesSeen.count(kStatusPreparing));
    EXPECT_TRUE(modesSeen.count(kFileDownloading));
    EXPECT_TRUE(modesSeen.count(kFileDownloaded));
    EXPECT_EQ(Modes(package.id), (std::vector<int32_t>{4, 4, 4}));
    Package now = database->Read(package.id);
    EXPECT_EQ(now.status, kStatusPrepared);
    EXPECT_EQ(now.operation, kOperationInstall);
    EXPECT_EQ(Content(Path("a.bin~")), a);
    EXPECT_EQ(Content(Path("maps/eu/b.bin~")), b);
    EXPECT_FALSE(Exists(Path("a.bin")));

    // Progress covers the whole preparation and ends with everything checked.
    const auto progress = host.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front().kind, ProgressEvent::kDownloading);
    EXPECT_EQ(progress.back().kind, ProgressEvent::kChecking);
    EXPECT_EQ(progress.back().total, 2u * package.size);
    EXPECT_EQ(progress.back().done, 2u * package.size);
    EXPECT_EQ(progress.back().itemDone, 2u * package.size);
    for (const auto& each : progress) EXPECT_LE(each.done, each.total);

    EXPECT_TRUE(Logged("StatusReports", 3, "File a.bin successfully downloaded with code 200"));
    EXPECT_TRUE(Logged("StatusReports", 3, "MD5 check of file b.bin finished successfully"));
    EXPECT_TRUE(Logged("PackageTransaction", 3, "Package europe is downloaded, starting check."));
    EXPECT_TRUE(Logged("PackageTransaction", 3, "Package europe is prepared."));

    // Processing installs what was prepared; the work is counted in files.
    std::vector<std::pair<uint64_t, uint64_t>> work;
    host.onProcessProgress = [&](PackageTransaction& running) {
        uint64_t done = 0, total = 0;
        for (const auto& task : running.Tasks()) {
            done += task->InstallWorkDone();
            total += task->InstallWorkTotal();
        }
        work.emplace_back(done, total);
    };
    std::vector<Package> ready;
    ASSERT_EQ(database->GetPackagesReadyToInstall(ready), PackageDatabase::kOk);
    ASSERT_EQ(ready.size(), 1u);
    const Outcome processed = Run(PackageTransaction::kProcess, ready);
    EXPECT_TRUE(processed.started);
    EXPECT_EQ(processed.result, TransactionStatusEvent::kDone);
    EXPECT_EQ(work, (std::vector<std::pair<uint64_t, uint64_t>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(Modes(package.id), (std::vector<int32_t>{5, 5, 5}));
    now = database->Read(package.id);
    EXPECT_EQ(now.status, kStatusInstalled);
    EXPECT_EQ(now.operation, kOperationNone);
    EXPECT_EQ(Content(Path("a.bin")), a);
    EXPECT_EQ(Content(Path("maps/eu/b.bin")), b);
    EXPECT_EQ(Content(Path("c.bin")), c);
    EXPECT_FALSE(Exists(Path("a.bin~")));
    EXPECT_FALSE(Exists(Path("maps/eu/b.bin~")));
    EXPECT_TRUE(Logged("PackageTransaction", 3, "Package europe is installed."));
    EXPECT_EQ(server.RequestCount("/f/a.bin"), 1u);  // processing downloads nothing

    bool aborted = true;
    OnThread([&] { aborted = transaction->Abort(); });
    EXPECT_FALSE(aborted) << "an ended transaction cannot be aborted";
    EXPECT_EQ(database->Read(package.id).status, kStatusInstalled);
}

TEST_F(Transactions, PreparationProgressCoversEveryPackage) {
    const std::string a(5000, 'a'), b(3000, 'b');
    Package first = MakePackage("first", {File("a.bin", a)});
    Package second = MakePackage("second", {File("b.bin", b)});
    first.size = static_cast<uint32_t>(a.size());
    second.size = static_cast<uint32_t>(b.size());
    AddToDatabase({&first, &second});
    server.Serve("/f/a.bin", TestResponse::Body(a));
    server.Serve("/f/b.bin", TestResponse::Body(b));
    ASSERT_EQ(Run(PackageTransaction::kPrepare, Order({{first.id, 4}, {second.id, 4}})).result, 0);

    const uint64_t total = 2 * (a.size() + b.size());
    const auto progress = host.Progress();
    ASSERT_FALSE(progress.empty());
    bool secondSeen = false;
    uint64_t last = 0;
    for (const ProgressEvent& each : progress) {
        const bool ofSecond = each.text == "b.bin";
        EXPECT_EQ(each.total, total);
        EXPECT_EQ(each.itemTotal, 2 * (ofSecond ? b.size() : a.size()));
        EXPECT_LE(each.itemDone, each.itemTotal);
        EXPECT_GE(each.done, last) << "progress went back";
        last = each.done;
        if (ofSecond && !secondSeen) {
            secondSeen = true;
            EXPECT_EQ(each.done, 2 * a.size() + each.itemDone) << "the first package counts";
        }
    }
    EXPECT_TRUE(secondSeen);
    EXPECT_EQ(progress.back().done, total);
}

TEST_F(Transactions, RemovalsComeFirstWhateverTheOrder) {
    Package installed = MakePackage("old", {File("old.bin", "old")});
    Package fresh = MakePackage("new", {File("new.bin", "new")});
    Package downloaded = MakePackage("half", {File("half.bin", "half")});
    AddToDatabase({&installed, &fresh, &downloaded});
    ASSERT_EQ(database->SetPackageStatus(installed.id, kStatusInstalled), 0);
    ASSERT_EQ(database->SetPackageStatus(downloaded.id, kStatusPrepared), 0);
    ASSERT_TRUE(database->Execute("UPDATE tov_package_files SET mode=5 WHERE pkgid=" +
                                  std::to_string(installed.id)));
    ASSERT_TRUE(database->Execute("UPDATE tov_package_files SET mode=4 WHERE pkgid=" +
                                  std::to_string(downloaded.id)));
    Write(Path("old.bin"), "old");
    Write(Path("half.bin~"), "half");
    Write(Path("half.bin"), "someone else's file of the same name");
    server.Serve("/f/new.bin", TestResponse::Body("new"));

    // The removal order also puts removal before installation when given last.
    std::vector<Package> orders =
        Order({{fresh.id, 4}, {installed.id, 2}, {downloaded.id, 2}});
    ASSERT_EQ(orders.size(), 3u);
    const Outcome outcome = Run(PackageTransaction::kPrepare, orders);
    EXPECT_EQ(outcome.result, TransactionStatusEvent::kDone);

    EXPECT_LT(LogIndex("Package old is uninstalled."), LogIndex("Package half is uninstalled."));
    EXPECT_LT(LogIndex("Package half is uninstalled."),
              LogIndex("Package new is downloaded, starting check."));
    EXPECT_LT(LogIndex("Package new is prepared."), log.Lines().size());
    EXPECT_FALSE(Exists(Path("old.bin")));
    EXPECT_FALSE(Exists(Path("half.bin~")));
    EXPECT_EQ(Content(Path("half.bin")), "someone else's file of the same name");
    for (const Package& removed : {installed, downloaded}) {
        const Package now = database->Read(removed.id);
        EXPECT_EQ(now.status, kStatusAvailable) << removed.name;
        EXPECT_EQ(now.operation, kOperationNone) << removed.name;
        EXPECT_EQ(Modes(removed.id), std::vector<int32_t>{1}) << removed.name;
    }
    EXPECT_EQ(database->Read(fresh.id).status, kStatusPrepared);
}

TEST_F(Transactions, NothingToDoOrAlreadyPrepared) {
    Package prepared = MakePackage("ready", {File("ready.bin", "ready")});
    Package installed = MakePackage("done", {File("done.bin", "done")});
    AddToDatabase({&prepared, &installed});
    ASSERT_EQ(database->SetPackageStatus(prepared.id, kStatusPrepared), 0);
    ASSERT_EQ(database->SetPackageStatus(installed.id, kStatusInstalled), 0);

    // Installed and ordered again: no task at all.
    const Outcome none = Run(PackageTransaction::kPrepare, Order({{installed.id, 4}}));
    EXPECT_FALSE(none.started);
    EXPECT_TRUE(status.Ends().empty());

    // Prepared: neither downloaded nor checked; the transaction ends at once with success.
    const Outcome skipped = Run(PackageTransaction::kPrepare, Order({{prepared.id, 4}}));
    EXPECT_FALSE(skipped.started);
    EXPECT_EQ(skipped.result, TransactionStatusEvent::kDone);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(database->Read(prepared.id).status, kStatusPrepared);
}

struct DownloadCase {
    const char* name;
    std::vector<TestResponse> script;  // for a.bin; b.bin and c.bin answer at once
    int32_t result;
    TaskError error;
    std::vector<std::string> requests;
};

TEST_F(Transactions, DownloadStatusesDecideRetryAndFailure) {
    const std::string body = "the real content";
    const DownloadCase cases[] = {
        {"404 then found: retried once, behind the other files",
         {TestResponse::Status(404), TestResponse::Body(body)}, 0, {},
         {"/f/a.bin", "/f/b.bin", "/f/c.bin", "/f/a.bin"}},
        {"404 twice: the package fails",
         {TestResponse::Status(404)}, 1, Error(1, 404),
         {"/f/a.bin", "/f/b.bin", "/f/c.bin", "/f/a.bin"}},
        {"HTML 404 page counts as 404", {TestResponse::Html404()}, 1, Error(1, 404),
         {"/f/a.bin", "/f/b.bin", "/f/c.bin", "/f/a.bin"}},
        {"503 fails at once", {TestResponse::Status(503)}, 1, Error(1, 503), {"/f/a.bin"}},
        {"416 downloads again at once", {TestResponse::Status(416), TestResponse::Body(body)},
         0, {}, {"/f/a.bin", "/f/b.bin", "/f/c.bin", "/f/a.bin"}},
    };
    int round = 0;
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve("/f/a.bin", c.script);
        server.Serve("/f/b.bin", TestResponse::Body("b"));
        server.Serve("/f/c.bin", TestResponse::Body("c"));
        const size_t before = server.Requests().size();
        Package package = MakePackage("pkg" + std::to_string(round++),
                                      {File("a.bin", body), File("b.bin", "b"),
                                       File("c.bin", "c")});
        AddToDatabase({&package});
        // Left over from an earlier attempt; never part of the new file.
        Write(Path("a.bin~"), std::string(100, 'x'));
        // 416 must not wait for the retry delay: give it one no test would sit out.
        const bool at416 = c.script.front().status == 416;
        const Outcome outcome = Run(PackageTransaction::kPrepare, Order({{package.id, 4}}),
                                    at416 ? 600000 : kShortRetryMs);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.error, c.error);
        const auto paths = RequestedPaths();
        EXPECT_EQ(std::vector<std::string>(paths.begin() + before, paths.end()), c.requests);
        const Package now = database->Read(package.id);
        if (c.result == 0) {
            EXPECT_EQ(now.status, kStatusPrepared);
            EXPECT_EQ(Content(Path("a.bin~")), body);
        } else {
            EXPECT_EQ(now.status, kStatusPreparing);  // left for the next processing to remove
            EXPECT_TRUE(Logged("PackageTransaction", 2,
                               "Package " + now.name +
                                   " has failed to DOWNLOAD, because category 1 code " +
                                   std::to_string(c.error.code) + ", no retry."));
        }
        // A fresh catalogue for the next case: this package is gone from it.
        ASSERT_TRUE(database->Execute("DELETE FROM tov_package_files"));
        ASSERT_TRUE(database->Execute("DELETE FROM tov_grouped_packages"));
        ASSERT_TRUE(database->Execute("DELETE FROM tov_packages"));
    }
}

TEST_F(Transactions, ChecksumMismatchDownloadsAgainThenFails) {
    const std::string good = "good bytes", bad = "bad bytes!";
    struct Case {
        const char* name;
        std::vector<TestResponse> script;
        int32_t result;
        TaskError error;
    };
    const Case cases[] = {
        {"mismatch, then the right file", {TestResponse::Body(bad), TestResponse::Body(good)}, 0,
         {}},
        {"mismatch twice", {TestResponse::Body(bad)}, 1, Error(3, 1027)},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "m" + std::to_string(round++) + ".bin";
        server.Serve("/f/" + name, c.script);
        Package package = MakePackage(name, {File(name, good)});
        AddToDatabase({&package});
        const Outcome outcome = Run(PackageTransaction::kPrepare, Order({{package.id, 4}}));
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(server.RequestCount("/f/" + name), 2u);
        EXPECT_TRUE(Logged("StatusReports", 2,
                           "Failed MD5 check of file " + name + ": downloaded file has " +
                               Md5::Of(bad).HexDigest().str() +
                               ", should have " + Md5::Of(good).HexDigest().str()));
        EXPECT_TRUE(
            Logged("PackageFileTask", 3, "Deleted file " + name + " because invalid checksum"));
        if (c.result == 0) {
            EXPECT_EQ(Content(Path(name + "~")), good);
            EXPECT_EQ(Modes(package.id), std::vector<int32_t>{4});
        } else {
            EXPECT_FALSE(Exists(Path(name + "~")));
            EXPECT_EQ(Modes(package.id), std::vector<int32_t>{1});
        }
        ASSERT_TRUE(database->Execute("DELETE FROM tov_package_files"));
        ASSERT_TRUE(database->Execute("DELETE FROM tov_grouped_packages"));
        ASSERT_TRUE(database->Execute("DELETE FROM tov_packages"));
    }
}

TEST_F(Transactions, FailedDigestRepeatsTheCheckOnceThenFails) {
    server.Serve("/f/a.bin", TestResponse::Body("a"));
    server.Serve("/f/b.bin", TestResponse::Body("b"));
    Package package = MakePackage("p", {File("a.bin", "a"), File("b.bin", "b")});
    AddToDatabase({&package});
    // a.bin is downloaded before b.bin; take it away before anything checks it.
    host.onProgress = [&](const ProgressEvent& progress) {
        if (progress.kind == ProgressEvent::kDownloading && progress.text == "b.bin") {
            std::filesystem::remove(Path("a.bin~"));
        }
    };
    const Outcome outcome = Run(PackageTransaction::kPrepare, Order({{package.id, 4}}));
    EXPECT_EQ(outcome.result, TransactionStatusEvent::kTaskFailed);
    EXPECT_EQ(outcome.error, Error(TaskError::kSystem, ENOENT));
    EXPECT_EQ(server.RequestCount("/f/a.bin"), 1u);  // the check is repeated, not the download
    const auto lines = log.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const auto& line) {
                                return line.message == "MD5Sum of a.bin failed with error: 2";
                            }),
              2);
    EXPECT_TRUE(Logged("StatusReports", 3, "MD5 check of file b.bin finished successfully"));
}

TEST_F(Transactions, InstallingAFileAlreadyInstalledTouchesNothing) {
    Package package = MakePackage("p", {File("a.bin", "a"), File("b.bin", "b")});
    AddToDatabase({&package});
    ASSERT_EQ(database->SetPackageStatus(package.id, kStatusPrepared), 0);
    ASSERT_TRUE(database->Execute("UPDATE tov_package_files SET mode=5 WHERE file_path='a.bin'"));
    ASSERT_TRUE(database->Execute("UPDATE tov_package_files SET mode=4 WHERE file_path='b.bin'"));
    Write(Path("b.bin~"), "b");
    const Outcome outcome = Run(PackageTransaction::kProcess, Order({{package.id, 4}}));
    EXPECT_EQ(outcome.result, TransactionStatusEvent::kDone);
    EXPECT_FALSE(Exists(Path("a.bin")));
    EXPECT_EQ(Content(Path("b.bin")), "b");
    EXPECT_EQ(Modes(package.id), (std::vector<int32_t>{5, 5}));
    EXPECT_EQ(database->Read(package.id).status, kStatusInstalled);
}

TEST_F(Transactions, AbortWhileARetryWaitsEndsAtOnce) {
    server.Serve("/f/a.bin", TestResponse::Status(404));
    Package package = MakePackage("p", {File("a.bin", "a")});
    AddToDatabase({&package});
    PackageTransactionFactory factory(600000);  // a wait no test would sit out
    OnThread([&] {
        transaction = factory.CreateTransaction(host, PackageTransaction::kPrepare,
                                                Order({{package.id, 4}}));
        quorvalib::core::Connect(status, transaction->StatusNotifier(), &StatusRecorder::OnStatus);
        EXPECT_TRUE(transaction->Start());
    });
    // Each look goes through the service thread's queue, behind the download's end.
    size_t pending = 0;
    for (int look = 0; look < 100000 && pending == 0; ++look) {
        OnThread([&] { pending = transaction->PendingRetries(); });
    }
    ASSERT_EQ(pending, 1u) << "the 404 never asked for a retry";
    OnThread([&] { transaction->Abort(); });
    ASSERT_TRUE(status.WaitEnds(1));
    EXPECT_EQ(status.Ends()[0].error, TaskError::Cancelled());
    ExpectReverted(*database, package, folder);
}

TEST_F(Transactions, AbortDuringDownloadRevertsAndEndsCancelled) {
    server.Serve("/f/a.bin", TestResponse::Stall("the first bytes"));
    Package package = MakePackage("p", {File("a.bin", "never complete"), File("b.bin", "b")});
    AddToDatabase({&package});
    bool abortRequested = false;
    host.onProgress = [&](const ProgressEvent& progress) {
        if (progress.kind != ProgressEvent::kDownloading || abortRequested) return;
        abortRequested = true;
        thread->PostCall([this] { transaction->Abort(); });  // as the service's cancel command
    };
    const Outcome outcome = Run(PackageTransaction::kPrepare, Order({{package.id, 4}}));
    EXPECT_EQ(outcome.result, TransactionStatusEvent::kTaskFailed);
    EXPECT_EQ(outcome.error, TaskError::Cancelled());
    ExpectReverted(*database, package, folder);
    EXPECT_EQ(server.RequestCount("/f/b.bin"), 0u);
    EXPECT_TRUE(Logged("PackageTransaction", 3, "Aborting current package transaction."));
}

TEST_F(Transactions, AbortDuringCheckRevertsAndEndsCancelled) {
    const std::string big(8 * 1024 * 1024, 'z');
    server.Serve("/f/big.bin", TestResponse::Body(big));
    Package package = MakePackage("p", {File("big.bin", big)});
    AddToDatabase({&package});
    bool abortRequested = false;
    host.onProgress = [&](const ProgressEvent& progress) {
        if (progress.kind != ProgressEvent::kChecking || abortRequested) return;
        abortRequested = true;
        thread->PostCall([this] { transaction->Abort(); });
    };
    const Outcome outcome = Run(PackageTransaction::kPrepare, Order({{package.id, 4}}));
    EXPECT_TRUE(abortRequested);
    EXPECT_EQ(outcome.result, TransactionStatusEvent::kTaskFailed);
    EXPECT_EQ(outcome.error, TaskError::Cancelled());
    ExpectReverted(*database, package, folder);
}

TEST_F(Transactions, AbortDuringInstallationRevertsEveryPackage) {
    Package first = MakePackage("first", {File("1a", "1a"), File("1b", "1b")});
    Package second = MakePackage("second", {File("2a", "2a"), File("2b", "2b")});
    AddToDatabase({&first, &second});
    for (const std::string name : {"1a", "1b", "2a", "2b"}) {
        server.Serve("/f/" + name, TestResponse::Body(name));
    }
    ASSERT_EQ(Run(PackageTransaction::kPrepare, Order({{first.id, 4}, {second.id, 4}})).result, 0);

    int installed = 0;
    host.onProcessProgress = [&](PackageTransaction&) {
        if (++installed == 3) thread->PostCall([this] { transaction->Abort(); });
    };
    std::vector<Package> ready;
    ASSERT_EQ(database->GetPackagesReadyToInstall(ready), PackageDatabase::kOk);
    const Outcome outcome = Run(PackageTransaction::kProcess, ready);
    EXPECT_EQ(outcome.result, TransactionStatusEvent::kTaskFailed);
    EXPECT_EQ(outcome.error, TaskError::Cancelled());
    EXPECT_EQ(installed, 3);
    // The first package was installed and recorded before the abort: it is reverted too. The
    // files already moved into place stay where they are.
    ExpectReverted(*database, first, folder);
    ExpectReverted(*database, second, folder);
    EXPECT_EQ(Content(Path("1a")), "1a");
    EXPECT_EQ(Content(Path("2a")), "2a");
    EXPECT_FALSE(Exists(Path("2b")));
}

// A target whose installation the test holds until it lets go.
struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

class HeldFileTask : public LocalPackageFileTask {
public:
    HeldFileTask(PackageTask& task, const PackageFile& file, Gate& gate)
        : LocalPackageFileTask(task, file), gate_(gate) {}

protected:
    TaskError InstallImpl(const JobContext& context) override {
        std::unique_lock guard(gate_.lock);
        gate_.entered = true;
        gate_.changed.notify_all();
        gate_.changed.wait_for(guard, kLongWait, [&] { return gate_.released; });
        guard.unlock();
        return LocalPackageFileTask::InstallImpl(context);
    }

private:
    Gate& gate_;
};

class HeldFactory : public PackageTransactionFactory {
public:
    explicit HeldFactory(Gate& gate) : gate_(gate) {}

protected:
    std::unique_ptr<PackageFileTask> _CreatePackageFileTask(PackageTask& task,
                                                            const PackageFile& file) override {
        return std::make_unique<HeldFileTask>(task, file, gate_);
    }

private:
    Gate& gate_;
};

TEST_F(Transactions, AbortWhileAFileIsBeingInstalledKeepsTheRevert) {
    Package package = MakePackage("p", {File("a.bin", "a")});
    AddToDatabase({&package});
    ASSERT_EQ(database->SetPackageStatus(package.id, kStatusPrepared), 0);
    ASSERT_TRUE(database->Execute("UPDATE tov_package_files SET mode=4"));
    Write(Path("a.bin~"), "a");
    Gate gate;
    HeldFactory factory(gate);
    OnThread([&] {
        transaction = factory.CreateTransaction(host, PackageTransaction::kProcess,
                                                Order({{package.id, 4}}));
        quorvalib::core::Connect(status, transaction->StatusNotifier(), &StatusRecorder::OnStatus);
        EXPECT_TRUE(transaction->Start());
    });
    {
        std::unique_lock guard(gate.lock);
        ASSERT_TRUE(gate.changed.wait_for(guard, kLongWait, [&] { return gate.entered; }));
    }
    OnThread([&] { transaction->Abort(); });
    EXPECT_EQ(Modes(package.id), std::vector<int32_t>{1});
    {
        // The job now installs the file and records it, after the abort reverted it.
        std::lock_guard guard(gate.lock);
        gate.released = true;
        gate.changed.notify_all();
    }
    ASSERT_TRUE(status.WaitEnds(1));
    EXPECT_EQ(status.Ends()[0].error, TaskError::Cancelled());
    const Package now = database->Read(package.id);
    EXPECT_EQ(now.status, kStatusAvailable);
    EXPECT_EQ(now.operation, kOperationNone);
    EXPECT_EQ(Modes(package.id), std::vector<int32_t>{1});
}

TEST_F(Transactions, UnsafeOrIncompleteFilesFailTheirPackage) {
    const std::string outside = folder.Path() + "-outside";
    const std::string outsideName = std::filesystem::path(outside).filename().string();
    struct Case {
        const char* name;
        std::string filePath;
        std::string targetDir;
        bool withAddress;
        int32_t operation;
    };
    const Case cases[] = {
        {"parent in the file path", "../" + outsideName, "", true, kOperationInstall},
        {"parent in the folder", outsideName, "..", true, kOperationInstall},
        {"absolute folder", "x", folder.Path() + "-abs", true, kOperationInstall},
        {"removal of an unsafe file", "../" + outsideName, "", true, kOperationUninstall},
        {"no download address", "plain.bin", "", false, kOperationInstall},
    };
    Write(outside, "not ours");
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PackageFile file = File("x", "x");
        file.file_path = c.filePath;
        file.target_dir = c.targetDir;
        if (!c.withAddress) file.source_path.clear();
        Package package = MakePackage("u" + std::to_string(round++), {file});
        AddToDatabase({&package});
        if (c.operation == kOperationUninstall) {
            ASSERT_EQ(database->SetPackageStatus(package.id, kStatusInstalled), 0);
            ASSERT_TRUE(database->Execute("UPDATE tov_package_files SET mode=5"));
        }
        const Outcome outcome =
            Run(PackageTransaction::kPrepare, Order({{package.id, c.operation}}));
        EXPECT_EQ(outcome.result, TransactionStatusEvent::kTaskFailed);
        EXPECT_EQ(outcome.error, Error(6, 0));
        EXPECT_EQ(Content(outside), "not ours");
        EXPECT_FALSE(Exists(outside + "~"));
        EXPECT_FALSE(Exists(folder.Path() + "-abs"));
        ASSERT_TRUE(database->Execute("DELETE FROM tov_package_files"));
        ASSERT_TRUE(database->Execute("DELETE FROM tov_grouped_packages"));
        ASSERT_TRUE(database->Execute("DELETE FROM tov_packages"));
    }
    EXPECT_TRUE(server.Requests().empty());
    std::filesystem::remove(outside);
}

TEST_F(Transactions, FailedRecordOfTheEndFinishesWithDatabaseError) {
    Package install = MakePackage("in", {File("in.bin", "in")});
    Package remove = MakePackage("out", {File("out.bin", "out")});
    AddToDatabase({&install, &remove});
    server.Serve("/f/in.bin", TestResponse::Body("in"));
    ASSERT_EQ(Run(PackageTransaction::kPrepare, Order({{install.id, 4}})).result, 0);
    ASSERT_EQ(database->SetPackageStatus(remove.id, kStatusInstalled), 0);
    // The database refuses to record any package as installed or as available again.
    ASSERT_TRUE(database->Execute(
        "CREATE TRIGGER refuse BEFORE UPDATE OF status ON tov_packages WHEN NEW.status IN (1, 4) "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END"));

    for (const auto& [mode, orders] :
         {std::pair{PackageTransaction::kProcess, std::vector<PackageOrder>{}},
          std::pair{PackageTransaction::kPrepare, std::vector<PackageOrder>{{remove.id, 2}}}}) {
        std::vector<Package> packages;
        if (orders.empty()) {
            ASSERT_EQ(database->GetPackagesReadyToInstall(packages), PackageDatabase::kOk);
        } else {
            packages = Order(orders);
        }
        ASSERT_EQ(packages.size(), 1u);
        const Outcome outcome = Run(mode, packages);
        EXPECT_EQ(outcome.result, TransactionStatusEvent::kTaskFailed) << packages[0].name;
        EXPECT_EQ(outcome.error.category, TaskError::kDatabase) << packages[0].name;
    }
}

}  // namespace
}  // namespace updaterlib::testing
