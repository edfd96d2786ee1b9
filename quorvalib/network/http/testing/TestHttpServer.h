#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace quorvalib::network::http::testing {

// One answer of the test server.
struct TestResponse {
    enum class Kind {
        kBody,     // status and body; a Range request on a 200 gets 206 with the range
        kHtml404,  // status 200 with an HTML page saying "404 Not Found"
        kStall,    // the body's bytes, then nothing until ReleaseStalls() or shutdown
        kDrop,     // announces the whole body, sends cutAt bytes, closes the connection
        kSlow,     // the body in chunks of chunkSize, chunkDelay apart
    };

    static TestResponse Body(std::string body, int status = 200);
    static TestResponse Status(int status);
    static TestResponse Html404();
    static TestResponse Stall(std::string prefix = {});
    static TestResponse Drop(std::string body, size_t cutAt);
    static TestResponse Slow(std::string body, size_t chunkSize, std::chrono::milliseconds delay);

    Kind kind = Kind::kBody;
    int status = 200;
    std::string body;
    size_t cutAt = 0;
    size_t chunkSize = 0;
    std::chrono::milliseconds chunkDelay{0};
};

// What the server was asked.
struct TestRequest {
    std::string path;
    std::string query;  // the raw query text after "?", as sent
    std::string range;  // the Range header, empty when absent
};

// An HTTP server on 127.0.0.1 and a free port, running until destroyed. Each path answers
// with a script of responses: they are used in order and the last one repeats. Paths without a
// script answer 404 with an empty body.
class TestHttpServer {
public:
    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // False when the server could not listen; BaseUrl() is then empty.
    bool Running() const { return port_ > 0; }
    int Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;
    std::string Url(const std::string& path) const { return BaseUrl() + path; }

    void Serve(const std::string& path, std::vector<TestResponse> script);
    void Serve(const std::string& path, TestResponse response) {
        Serve(path, std::vector<TestResponse>{std::move(response)});
    }

    // Lets every stalled response go on (and end).
    void ReleaseStalls();

    std::vector<TestRequest> Requests() const;
    size_t RequestCount(const std::string& path) const;
    // Waits until `count` requests for `path` have arrived (a stalled one counts at once).
    bool WaitForRequests(const std::string& path, size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

private:
    TestResponse Next(const std::string& path);
    void Record(TestRequest request);
    bool WaitWhileStalled();

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = -1;

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::map<std::string, std::vector<TestResponse>> scripts_;
    std::vector<TestRequest> requests_;
    bool stallsReleased_ = false;
    bool stopping_ = false;
};

}  // namespace quorvalib::network::http::testing
