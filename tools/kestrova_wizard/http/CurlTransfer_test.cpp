#include "tools/kestrova_wizard/http/CurlTransfer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <future>
#include <sstream>

#include "quorvalib/network/http/testing/TestHttpServer.h"

namespace kestrova_wizard {
namespace {

using quorvalib::network::http::testing::TestHttpServer;
using quorvalib::network::http::testing::TestResponse;

constexpr auto kHang = std::chrono::seconds(60);

struct Outcome {
    int code = 0;
    std::string body;
    std::vector<uint64_t> progress;
};

Outcome Fetch(const std::string& url, TransferOptions options = {}) {
    Outcome outcome;
    std::ostringstream body;
    std::atomic<bool> cancelled{false};
    CurlTransfer transfer(url, body, cancelled,
                          [&](uint64_t position) { outcome.progress.push_back(position); }, options);
    outcome.code = transfer.Perform();
    outcome.body = body.str();
    return outcome;
}

TEST(BuildRequestUrl, EncodesNamesAndValuesInOrder) {
    EXPECT_EQ(BuildRequestUrl("http://h/c", {}), "http://h/c");
    EXPECT_EQ(BuildRequestUrl("http://h/c", {{"a", "1"}, {"b", "x y"}, {"a", ""}}),
              "http://h/c?a=1&b=x%20y&a=");
    EXPECT_EQ(BuildRequestUrl("u", {{"q&r", "1=2/\xC5\xA1~-._"}}), "u?q%26r=1%3D2%2F%C5%A1~-._");
}

TEST(CurlTransfer, AnswersAndTheirCodes) {
    TestHttpServer server;
    ASSERT_TRUE(server.Running());
    server.Serve("/ok", TestResponse::Body("catalogue"));
    server.Serve("/busy", TestResponse::Body("try later", 503));
    server.Serve("/html", TestResponse::Html404());
    server.Serve("/cut", TestResponse::Drop(std::string(100000, 'x'), 1000));

    const struct {
        const char* path;
        int code;
        const char* body;
    } cases[] = {
        {"/ok", 200, "catalogue"},
        {"/busy", 503, "try later"},  // the body of any status is kept
        {"/html", 404, ""},           // an HTML error page is not content
        {"/missing", 404, ""},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Fetch(server.Url(c.path));
        EXPECT_EQ(outcome.code, c.code) << c.path;
        EXPECT_EQ(outcome.body, c.body) << c.path;
    }
    // A body cut off after "200 OK" did not arrive whole.
    EXPECT_EQ(Fetch(server.Url("/cut")).code, transfer_code::kNoAnswer + CURLE_PARTIAL_FILE);
}

TEST(CurlTransfer, ReportsProgressWithTheFirstChunk) {
    TestHttpServer server;
    const std::string body(300000, 'p');
    server.Serve("/big", TestResponse::Body(body));
    const Outcome outcome = Fetch(server.Url("/big"));
    EXPECT_EQ(outcome.code, 200);
    EXPECT_EQ(outcome.body.size(), body.size());
    ASSERT_FALSE(outcome.progress.empty());
    EXPECT_GT(outcome.progress.front(), 0u);
    EXPECT_LE(outcome.progress.back(), body.size());
}

TEST(CurlTransfer, UnreachablePortIsNoAnswerPlusCurlCode) {
    int port;
    {
        TestHttpServer closed;
        port = closed.Port();
    }
    const Outcome outcome = Fetch("http://127.0.0.1:" + std::to_string(port) + "/x");
    EXPECT_EQ(outcome.code, transfer_code::kNoAnswer + CURLE_COULDNT_CONNECT);
}

TEST(CurlTransfer, FailedStreamEndsWithNoAnswer) {
    TestHttpServer server;
    server.Serve("/ok", TestResponse::Body("catalogue"));
    std::ostringstream body;
    body.setstate(std::ios::failbit);
    std::atomic<bool> cancelled{false};
    EXPECT_EQ(CurlTransfer(server.Url("/ok"), body, cancelled, nullptr).Perform(),
              transfer_code::kNoAnswer);
}

// Runs a transfer on its own thread and cancels it once `ready` says so.
int CancelWhen(const std::string& url, const std::function<void()>& ready) {
    std::ostringstream body;
    std::atomic<bool> cancelled{false};
    std::promise<void> firstProgress;
    bool signalled = false;
    CurlTransfer transfer(url, body, cancelled, [&](uint64_t) {
        if (!signalled) {
            signalled = true;
            firstProgress.set_value();
        }
    });
    auto done = std::async(std::launch::async, [&] { return transfer.Perform(); });
    if (ready) ready();
    else EXPECT_EQ(firstProgress.get_future().wait_for(kHang), std::future_status::ready);
    cancelled = true;
    EXPECT_EQ(done.wait_for(kHang), std::future_status::ready) << "the cancel was not seen";
    return done.get();
}

TEST(CurlTransfer, CancelEndsATransferDuringItsBody) {
    TestHttpServer server;
    server.Serve("/slow", TestResponse::Slow(std::string(1 << 20, 's'), 1024, std::chrono::milliseconds(20)));
    EXPECT_EQ(CancelWhen(server.Url("/slow"), nullptr), transfer_code::kCancelled);
}

TEST(CurlTransfer, CancelEndsATransferThatReceivesNothing) {
    TestHttpServer server;
    server.Serve("/stall", TestResponse::Stall());
    const int code = CancelWhen(server.Url("/stall"), [&] { ASSERT_TRUE(server.WaitForRequests("/stall", 1)); });
    EXPECT_EQ(code, transfer_code::kCancelled);
}

TEST(CurlTransfer, StalledBodyTimesOut) {
    TestHttpServer server;
    server.Serve("/stall", TestResponse::Stall());
    TransferOptions options;
    options.lowSpeedTimeSeconds = 1;
    EXPECT_EQ(Fetch(server.Url("/stall"), options).code,
              transfer_code::kNoAnswer + CURLE_OPERATION_TIMEDOUT);
}

}  // namespace
}  // namespace kestrova_wizard
