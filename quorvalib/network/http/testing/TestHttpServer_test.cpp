#include "quorvalib/network/http/testing/TestHttpServer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <future>

namespace quorvalib::network::http::testing {
namespace {

httplib::Client ClientFor(const TestHttpServer& server) {
    httplib::Client client("127.0.0.1", server.Port());
    client.set_read_timeout(30, 0);
    return client;
}

TEST(TestHttpServer, ScriptsAreUsedInOrderAndTheLastRepeats) {
    TestHttpServer server;
    ASSERT_TRUE(server.Running());
    server.Serve("/f", {TestResponse::Status(503), TestResponse::Body("data")});
    auto client = ClientFor(server);
    const int expected[] = {503, 200, 200};
    for (int status : expected) {
        auto result = client.Get("/f?a=1&b=x%20y");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, status);
    }
    EXPECT_EQ(client.Get("/unknown")->status, 404);
    ASSERT_EQ(server.RequestCount("/f"), 3u);
    EXPECT_EQ(server.Requests()[0].query, "a=1&b=x%20y");
}

TEST(TestHttpServer, HonoursRangeRequests) {
    TestHttpServer server;
    server.Serve("/f", TestResponse::Body("0123456789"));
    auto client = ClientFor(server);
    auto result = client.Get("/f", {{"Range", "bytes=4-"}});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 206);
    EXPECT_EQ(result->body, "456789");
    EXPECT_EQ(server.Requests()[0].range, "bytes=4-");
}

TEST(TestHttpServer, BrokenBodies) {
    TestHttpServer server;
    server.Serve("/html", TestResponse::Html404());
    server.Serve("/drop", TestResponse::Drop(std::string(1000, 'x'), 100));
    auto client = ClientFor(server);
    auto html = client.Get("/html");
    ASSERT_TRUE(html);
    EXPECT_EQ(html->status, 200);
    EXPECT_NE(html->body.find("404 Not Found"), std::string::npos);
    std::string received;
    auto dropped = client.Get("/drop", [&](const char* data, size_t n) {
        received.append(data, n);
        return true;
    });
    EXPECT_FALSE(dropped);  // the connection closed before the announced length
    EXPECT_EQ(received, std::string(100, 'x'));
}

TEST(TestHttpServer, StalledBodyGoesOnWhenReleased) {
    TestHttpServer server;
    server.Serve("/stall", TestResponse::Stall("head"));
    auto fetched = std::async(std::launch::async, [&] {
        auto client = ClientFor(server);
        auto result = client.Get("/stall");
        return result ? result->body : std::string("failed");
    });
    ASSERT_TRUE(server.WaitForRequests("/stall", 1));
    server.ReleaseStalls();
    EXPECT_EQ(fetched.get(), "head");
}

TEST(TestHttpServer, StopsWhileABodyStalls) {
    std::future<bool> fetched;
    {
        TestHttpServer server;
        server.Serve("/stall", TestResponse::Stall("head"));
        fetched = std::async(std::launch::async, [port = server.Port()] {
            httplib::Client client("127.0.0.1", port);
            return static_cast<bool>(client.Get("/stall"));
        });
        ASSERT_TRUE(server.WaitForRequests("/stall", 1));
    }
    EXPECT_FALSE(fetched.get());
}

TEST(TestHttpServer, SlowBodyArrivesWhole) {
    TestHttpServer server;
    server.Serve("/slow", TestResponse::Slow("abcdefgh", 3, std::chrono::milliseconds(5)));
    auto client = ClientFor(server);
    auto result = client.Get("/slow");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, "abcdefgh");
}

}  // namespace
}  // namespace quorvalib::network::http::testing
