#include "tools/kestrova_wizard/http/HttpRequestWizard.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <sstream>

#include "quorvalib/files/Aini.h"
#include "quorvalib/files/TestTempFolder.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "quorvalib/network/http/HttpEventRecorder_test.h"
#include "quorvalib/network/http/testing/TestHttpServer.h"
#include "tools/kestrova_wizard/http/HttpFactoryWizard.h"

namespace {

using quorvalib::network::http::HttpDownloadManager;
using quorvalib::network::http::HttpEventRecorder;
using quorvalib::network::http::HttpRequest;
using quorvalib::network::http::testing::TestHttpServer;
using quorvalib::network::http::testing::TestResponse;
using End = HttpEventRecorder::End;

// Counts the body streams whose last holder let go of them.
struct StreamRelease {
    std::mutex lock;
    std::condition_variable changed;
    size_t released = 0;

    bool WaitFor(size_t count) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(60), [&] { return released >= count; });
    }
};

// A manager over the libcurl back end, a recorder of its events and the bodies it wrote.
struct Downloads {
    std::shared_ptr<StreamRelease> streams = std::make_shared<StreamRelease>();
    std::shared_ptr<HttpDownloadManager> manager = HttpDownloadManager::Create();
    std::unique_ptr<HttpEventRecorder> events;
    std::map<uint64_t, std::shared_ptr<std::ostringstream>> bodies;

    Downloads() {
        manager->SetFactory(std::make_unique<HttpFactoryWizard>(kestrova_wizard::TransferOptions{}));
        events = std::make_unique<HttpEventRecorder>(manager);
    }
    ~Downloads() {
        events.reset();
        manager.reset();
    }
    uint64_t Submit(const std::string& url, HttpRequest::Parameters parameters = {}) {
        std::shared_ptr<std::ostringstream> body(new std::ostringstream, [streams = streams](auto* stream) {
            delete stream;
            std::lock_guard guard(streams->lock);
            ++streams->released;
            streams->changed.notify_all();
        });
        std::unique_ptr<HttpRequest> request = manager->CreateRequest(body);
        request->SetUrl(url);
        request->SetGet(true);
        for (const auto& [name, value] : parameters) request->AddParameter(name, value);
        const uint64_t id = request->Id();
        bodies[id] = body;
        EXPECT_EQ(manager->Submit(std::move(request)), id);
        return id;
    }
    // Waits until `count` ends arrived, and until the stream of each was let go of.
    void WaitForEnds(size_t count) {
        ASSERT_TRUE(events->WaitForEnds(count)) << "transfers did not end";
    }
    std::string Body(uint64_t id) { return bodies.at(id)->str(); }
};

TEST(HttpRequestWizard, ThreeRequestsRunInSubmissionOrder) {
    TestHttpServer server;
    ASSERT_TRUE(server.Running());
    server.Serve("/a", TestResponse::Body("first"));
    server.Serve("/b", TestResponse::Body("second", 503));
    server.Serve("/c", TestResponse::Body("third"));
    Downloads d;
    EXPECT_EQ(d.Submit(server.Url("/a")), 1u);
    EXPECT_EQ(d.Submit(server.Url("/b")), 2u);
    EXPECT_EQ(d.Submit(server.Url("/c")), 3u);
    d.WaitForEnds(3);
    EXPECT_EQ(d.events->Ends(), (std::vector<End>{{1, 200}, {2, 503}, {3, 200}}));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/a");
    EXPECT_EQ(requests[1].path, "/b");
    EXPECT_EQ(requests[2].path, "/c");
    EXPECT_EQ(d.Body(1), "first");
    EXPECT_EQ(d.Body(2), "second");
    EXPECT_EQ(d.Body(3), "third");
}

TEST(HttpRequestWizard, AnswersBecomeCodes) {
    TestHttpServer server;
    server.Serve("/html", TestResponse::Html404());
    server.Serve("/query", TestResponse::Body("ok"));
    int closedPort;
    {
        TestHttpServer closed;
        closedPort = closed.Port();
    }
    Downloads d;
    const uint64_t html = d.Submit(server.Url("/html"));
    const uint64_t missing = d.Submit(server.Url("/missing"));
    const uint64_t unreachable = d.Submit("http://127.0.0.1:" + std::to_string(closedPort) + "/x");
    const uint64_t query = d.Submit(server.Url("/query"), {{"a", "1"}, {"b", "x y"}, {"c", "&=?"}});
    d.WaitForEnds(4);
    EXPECT_EQ(d.events->Ends(), (std::vector<End>{{html, 404},
                                                  {missing, 404},
                                                  {unreachable, 451 + CURLE_COULDNT_CONNECT},
                                                  {query, 200}}));
    EXPECT_EQ(d.Body(html), "");  // the error page is not content
    ASSERT_EQ(server.RequestCount("/query"), 1u);
    for (const auto& request : server.Requests()) {
        if (request.path == "/query") {
            EXPECT_EQ(request.query, "a=1&b=x%20y&c=%26%3D%3F");
        }
    }
}

TEST(HttpRequestWizard, RemovingRunningAndQueuedRequests) {
    TestHttpServer server;
    server.Serve("/slow", TestResponse::Slow(std::string(1 << 20, 's'), 1024, std::chrono::milliseconds(20)));
    server.Serve("/stall", TestResponse::Stall());
    server.Serve("/after", TestResponse::Body("after"));
    Downloads d;
    const uint64_t slow = d.Submit(server.Url("/slow"));
    const uint64_t stall = d.Submit(server.Url("/stall"));
    const uint64_t queued = d.Submit(server.Url("/after"));
    const uint64_t last = d.Submit(server.Url("/after"));

    // Removing a queued request: progress 0 and 450 at once, and it never starts.
    EXPECT_TRUE(d.manager->RemoveTask(queued));
    // Cancel during a body: the running request ends with 450 after some bytes.
    ASSERT_TRUE(d.events->WaitForProgress(slow));
    EXPECT_FALSE(d.manager->RemoveTask(slow));
    // Cancel during a stall: nothing arrives, yet the cancel ends it.
    ASSERT_TRUE(server.WaitForRequests("/stall", 1));
    EXPECT_FALSE(d.manager->RemoveTask(stall));
    d.WaitForEnds(4);
    EXPECT_EQ(d.events->Ends(), (std::vector<End>{{queued, 450}, {slow, 450}, {stall, 450}, {last, 200}}));
    EXPECT_EQ(d.events->Progress(queued), (std::vector<uint32_t>{0}));
    EXPECT_LT(d.Body(slow).size(), size_t{1} << 20);
    EXPECT_EQ(server.RequestCount("/after"), 1u);
    EXPECT_EQ(d.Body(last), "after");
}

TEST(HttpRequestWizard, DestroyingTheManagerWithQueuedRequests) {
    TestHttpServer server;
    server.Serve("/stall", TestResponse::Stall());
    auto d = std::make_unique<Downloads>();
    std::shared_ptr<StreamRelease> streams = d->streams;
    const uint64_t running = d->Submit(server.Url("/stall"));
    const uint64_t second = d->Submit(server.Url("/stall"));
    const uint64_t third = d->Submit(server.Url("/stall"));
    ASSERT_TRUE(server.WaitForRequests("/stall", 1));
    // The recorder outlives the manager to see what its destruction reports.
    HttpEventRecorder* events = d->events.release();
    std::weak_ptr<HttpDownloadManager> weak = d->manager;
    d.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(events->Journal(),
              (std::vector<std::string>{"progress " + std::to_string(second) + " 0",
                                        "end " + std::to_string(second) + " 450",
                                        "progress " + std::to_string(third) + " 0",
                                        "end " + std::to_string(third) + " 450"}));
    // The running transfer was cancelled: it ends on its own, reports to nobody and lets go of
    // its stream.
    EXPECT_TRUE(streams->WaitFor(3));
    EXPECT_EQ(events->Ends().size(), 2u);
    EXPECT_NE(running, 0u);
    delete events;
    EXPECT_EQ(server.RequestCount("/stall"), 1u);
}

TEST(HttpFactoryWizard, TlsVerificationIsOnUnlessTheSettingsTurnItOff) {
    TestTempFolder folder;
    const struct {
        const char* text;
        bool verify;
    } cases[] = {
        {"", true},
        {"[Updater]\nPackagesUrl=http://x/\n", true},
        {"[Updater]\nVerifyTls=1\n", true},
        {"[Updater]\nVerifyTls=0\n", false},
        {"[updater]\nverifytls=off\n", false},
        {"[Updater]\nVerifyTls=No\n", false},
    };
    for (const auto& c : cases) {
        Aini settings(Astring(folder / "settings.ini"));
        settings.LoadFromText(c.text);
        EXPECT_EQ(HttpFactoryWizard::ReadOptions(settings).verifyPeer, c.verify) << c.text;
        EXPECT_FALSE(settings.IsModified());
    }
}

}  // namespace
