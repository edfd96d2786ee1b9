#include "quorvalib/network/http/HttpDownloadManager.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "quorvalib/files/LogRecorder_test.h"
#include "quorvalib/network/http/FakeHttpBackEnd_test.h"
#include "quorvalib/network/http/HttpEventRecorder_test.h"

namespace quorvalib::network::http {
namespace {

using End = HttpEventRecorder::End;

struct Fixture {
    std::shared_ptr<FakeBackEndState> state = std::make_shared<FakeBackEndState>();
    std::shared_ptr<HttpDownloadManager> manager = HttpDownloadManager::Create();
    std::unique_ptr<HttpEventRecorder> events = std::make_unique<HttpEventRecorder>(manager);

    Fixture() { manager->SetFactory(std::make_unique<FakeFactory>(state)); }

    uint64_t Submit(const std::string& url = "http://host/file") {
        std::unique_ptr<HttpRequest> request = manager->CreateRequest(std::make_shared<std::ostringstream>());
        if (!request) return 0;
        request->SetUrl(url);
        return manager->Submit(std::move(request));
    }
    std::vector<uint64_t> Started() {
        std::lock_guard guard(state->lock);
        return state->started;
    }
    size_t Live() {
        std::lock_guard guard(state->lock);
        return state->live.size();
    }
};

TEST(HttpDownloadManager, RunsOneTaskAtATimeInSubmissionOrder) {
    Fixture f;
    EXPECT_EQ(f.Submit(), 1u);
    EXPECT_EQ(f.Submit(), 2u);
    EXPECT_EQ(f.Submit(), 3u);
    EXPECT_EQ(f.Started(), (std::vector<uint64_t>{1}));
    FinishTransfer(*f.state, 1, 200);
    EXPECT_EQ(f.Started(), (std::vector<uint64_t>{1, 2}));
    // The end of a transfer may come from another thread; the next one starts there.
    std::thread([&] { FinishTransfer(*f.state, 2, 404); }).join();
    EXPECT_EQ(f.Started(), (std::vector<uint64_t>{1, 2, 3}));
    FinishTransfer(*f.state, 3, 503);
    EXPECT_EQ(f.events->Ends(), (std::vector<End>{{1, 200}, {2, 404}, {3, 503}}));
    EXPECT_EQ(f.Live(), 0u);
    // Ids are never reused.
    EXPECT_EQ(f.Submit(), 4u);
    FinishTransfer(*f.state, 4, 200);
}

TEST(HttpDownloadManager, RemovingQueuedAndRunningTasks) {
    Fixture f;
    f.Submit();
    f.Submit();
    f.Submit();
    EXPECT_TRUE(f.manager->RemoveTask(2));
    EXPECT_EQ(f.events->Journal(), (std::vector<std::string>{"progress 2 0", "end 2 450"}));
    EXPECT_FALSE(f.manager->RemoveTask(2));
    EXPECT_FALSE(f.manager->RemoveTask(99));

    {
        LogRecorder log("HttpDownloadManager");
        EXPECT_FALSE(f.manager->RemoveTask(1));  // still transferring: it ends later
        ASSERT_EQ(log.Lines().size(), 1u);
        EXPECT_EQ(log.Lines()[0].message, "Failed to remove running task ID 1.");
        EXPECT_EQ(log.Lines()[0].level, common::debug::kLogWarning);
    }
    {
        std::lock_guard guard(f.state->lock);
        EXPECT_EQ(f.state->cancelled, (std::vector<uint64_t>{1}));
    }
    FinishTransfer(*f.state, 1, HttpEvent::kCancelled);
    EXPECT_EQ(f.Started(), (std::vector<uint64_t>{1, 3}));  // 2 never started
    FinishTransfer(*f.state, 3, 200);
    EXPECT_EQ(f.events->Ends(), (std::vector<End>{{2, 450}, {1, 450}, {3, 200}}));
}

TEST(HttpDownloadManager, DestructionReportsQueuedTasksAndCancelsTheRunningOne) {
    Fixture f;
    f.Submit();
    f.Submit();
    f.Submit();
    std::weak_ptr<HttpDownloadManager> weak = f.manager;
    HttpEventRecorder* events = f.events.release();  // outlives the manager to see its last events
    f.manager.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(events->Journal(), (std::vector<std::string>{"progress 2 0", "end 2 450",
                                                           "progress 3 0", "end 3 450"}));
    {
        std::lock_guard guard(f.state->lock);
        EXPECT_EQ(f.state->cancelled, (std::vector<uint64_t>{1}));
        EXPECT_EQ(f.state->factoriesDestroyed, 1);
    }
    // The running transfer ends later and reports to nobody.
    FinishTransfer(*f.state, 1, HttpEvent::kCancelled);
    EXPECT_EQ(f.Live(), 0u);
    EXPECT_EQ(events->Ends().size(), 2u);
    delete events;
}

TEST(HttpDownloadManager, FailedStartFreesTheSlotAndEndsWith451) {
    Fixture f;
    {
        std::lock_guard guard(f.state->lock);
        f.state->failStart = {1, 3, 4};
    }
    LogRecorder log("HttpDownloadManager");
    EXPECT_EQ(f.Submit(), 1u);  // fails at once
    EXPECT_EQ(f.events->Ends(), (std::vector<End>{{1, 451}}));
    EXPECT_EQ(f.Submit(), 2u);  // the slot is free again
    EXPECT_EQ(f.Started(), (std::vector<uint64_t>{2}));
    f.Submit();
    f.Submit();
    f.Submit();
    FinishTransfer(*f.state, 2, 200);  // 3 and 4 fail in turn, 5 starts
    EXPECT_EQ(f.Started(), (std::vector<uint64_t>{2, 5}));
    FinishTransfer(*f.state, 5, 200);
    EXPECT_EQ(f.events->Ends(), (std::vector<End>{{1, 451}, {2, 200}, {3, 451}, {4, 451}, {5, 200}}));
    EXPECT_EQ(f.Live(), 0u);
    size_t failures = 0;
    for (const auto& line : log.Lines()) failures += line.message == "Failed to start new download.";
    EXPECT_EQ(failures, 3u);
}

TEST(HttpDownloadManager, FactoryAndLowCodes) {
    auto manager = HttpDownloadManager::Create();
    EXPECT_EQ(manager->CreateRequest(nullptr), nullptr);
    EXPECT_EQ(manager->Submit(nullptr), 0u);

    auto state = std::make_shared<FakeBackEndState>();
    manager->SetFactory(std::make_unique<FakeFactory>(state));
    manager->SetFactory(std::make_unique<FakeFactory>(state));
    EXPECT_EQ(state->factoriesDestroyed, 1);

    auto output = std::make_shared<std::ostringstream>();
    std::unique_ptr<HttpRequest> request = manager->CreateRequest(output);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->Output(), output);
    EXPECT_EQ(request->Manager().lock(), manager);
    request->SetUrl("http://host/c");
    request->AddParameter("a", "1");
    manager->Submit(std::move(request));

    LogRecorder log("HttpDownloadManager");
    FinishTransfer(*state, 1, 0);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].message,
              "Http response code lower than 100! Current response code: 0. "
              "POST: http://host/c, parameters: [a: 1, ]");
    EXPECT_EQ(output.use_count(), 1);  // the released request let go of the stream
}

// Listeners come and go on one thread while transfers end on another: the listener lock keeps
// the notifiers consistent (run under ThreadSanitizer).
TEST(HttpDownloadManager, ListenersComeAndGoWhileTransfersEnd) {
    Fixture f;
    constexpr int kTasks = 200;
    std::atomic<bool> done{false};
    std::thread listeners([&] {
        while (!done.load()) {
            HttpEventRecorder passing(f.manager);
        }
    });
    std::thread transfers([&] {
        for (int i = 0; i < kTasks; ++i) {
            const uint64_t id = f.Submit();
            FinishTransfer(*f.state, id, 200);
        }
    });
    transfers.join();
    done = true;
    listeners.join();
    EXPECT_TRUE(f.events->WaitForEnds(kTasks));
    EXPECT_EQ(f.events->Ends().size(), static_cast<size_t>(kTasks));
}

}  // namespace
}  // namespace quorvalib::network::http
