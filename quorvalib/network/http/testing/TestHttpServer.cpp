#include "quorvalib/network/http/testing/TestHttpServer.h"

#include <httplib.h>

#include <algorithm>

namespace quorvalib::network::http::testing {
namespace {
constexpr char kReadyPath[] = "/.test-server-ready";
}  // namespace

TestResponse TestResponse::Body(std::string body, int status) {
    TestResponse r;
    r.body = std::move(body);
    r.status = status;
    return r;
}

TestResponse TestResponse::Status(int status) { return Body({}, status); }

TestResponse TestResponse::Html404() {
    TestResponse r;
    r.kind = Kind::kHtml404;
    r.body = "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1>"
             "</body></html>";
    return r;
}

TestResponse TestResponse::Stall(std::string prefix) {
    TestResponse r;
    r.kind = Kind::kStall;
    r.body = std::move(prefix);
    return r;
}

TestResponse TestResponse::Drop(std::string body, size_t cutAt) {
    TestResponse r;
    r.kind = Kind::kDrop;
    r.body = std::move(body);
    r.cutAt = std::min(cutAt, r.body.size());
    return r;
}

TestResponse TestResponse::Slow(std::string body, size_t chunkSize,
                                std::chrono::milliseconds delay) {
    TestResponse r;
    r.kind = Kind::kSlow;
    r.body = std::move(body);
    r.chunkSize = std::max<size_t>(chunkSize, 1);
    r.chunkDelay = delay;
    return r;
}

TestHttpServer::TestHttpServer() : server_(std::make_unique<httplib::Server>()) {
    // The server's stop() is lost if it comes before the accept loop runs, and the library has
    // no readiness event: the constructor asks this path once, which only a running loop answers.
    server_->Get(kReadyPath, [](const httplib::Request&, httplib::Response& response) {
        response.set_content("ready", "text/plain");
    });
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        TestRequest seen{request.path, {}, request.get_header_value("Range")};
        const auto query = request.target.find('?');
        if (query != std::string::npos) seen.query = request.target.substr(query + 1);
        Record(seen);

        const TestResponse answer = Next(request.path);
        // A 200 left unset lets the server answer a Range request with 206 (or 416).
        if (!(answer.status == 200 && answer.kind == TestResponse::Kind::kBody)) {
            response.status = answer.status;
        }
        switch (answer.kind) {
            case TestResponse::Kind::kBody:
            case TestResponse::Kind::kHtml404:
                response.set_content(answer.body, "application/octet-stream");
                break;
            case TestResponse::Kind::kStall: {
                const std::string prefix = answer.body;
                response.set_chunked_content_provider(
                    "application/octet-stream",
                    [this, prefix, sent = false](size_t, httplib::DataSink& sink) mutable {
                        if (!sent && !prefix.empty()) {
                            sent = true;
                            return sink.write(prefix.data(), prefix.size());
                        }
                        if (!WaitWhileStalled()) return false;  // shutting down: drop it
                        sink.done();
                        return true;
                    });
                break;
            }
            case TestResponse::Kind::kDrop: {
                const std::string body = answer.body;
                const size_t cutAt = answer.cutAt;
                response.set_content_provider(
                    body.size(), "application/octet-stream",
                    [body, cutAt](size_t offset, size_t, httplib::DataSink& sink) {
                        if (offset < cutAt) return sink.write(body.data() + offset, cutAt - offset);
                        return false;  // closes the connection halfway
                    });
                break;
            }
            case TestResponse::Kind::kSlow: {
                const TestResponse slow = answer;
                response.set_content_provider(
                    slow.body.size(), "application/octet-stream",
                    [slow, this](size_t offset, size_t, httplib::DataSink& sink) {
                        if (offset > 0) {
                            std::unique_lock guard(lock_);
                            // Paces the server, not the test: the client under test sees a slow body.
                            changed_.wait_for(guard, slow.chunkDelay, [this] { return stopping_; });
                            if (stopping_) return false;
                        }
                        const size_t n = std::min(slow.chunkSize, slow.body.size() - offset);
                        return sink.write(slow.body.data() + offset, n);
                    });
                break;
            }
        }
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    httplib::Client client("127.0.0.1", port_);
    if (!client.Get(kReadyPath)) port_ = -1;
}

TestHttpServer::~TestHttpServer() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

std::string TestHttpServer::BaseUrl() const {
    return Running() ? "http://127.0.0.1:" + std::to_string(port_) : std::string();
}

void TestHttpServer::Serve(const std::string& path, std::vector<TestResponse> script) {
    std::lock_guard guard(lock_);
    scripts_[path] = std::move(script);
}

void TestHttpServer::ReleaseStalls() {
    {
        std::lock_guard guard(lock_);
        stallsReleased_ = true;
    }
    changed_.notify_all();
}

std::vector<TestRequest> TestHttpServer::Requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

size_t TestHttpServer::RequestCount(const std::string& path) const {
    std::lock_guard guard(lock_);
    return std::count_if(requests_.begin(), requests_.end(),
                         [&](const TestRequest& r) { return r.path == path; });
}

bool TestHttpServer::WaitForRequests(const std::string& path, size_t count,
                                     std::chrono::milliseconds timeout) const {
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, timeout, [&] {
        return static_cast<size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                 [&](const TestRequest& r) { return r.path == path; })) >= count;
    });
}

TestResponse TestHttpServer::Next(const std::string& path) {
    std::lock_guard guard(lock_);
    auto script = scripts_.find(path);
    if (script == scripts_.end() || script->second.empty()) return TestResponse::Status(404);
    TestResponse next = script->second.front();
    if (script->second.size() > 1) script->second.erase(script->second.begin());
    return next;
}

void TestHttpServer::Record(TestRequest request) {
    {
        std::lock_guard guard(lock_);
        requests_.push_back(std::move(request));
    }
    changed_.notify_all();
}

bool TestHttpServer::WaitWhileStalled() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return stallsReleased_ || stopping_; });
    return !stopping_;
}

}  // namespace quorvalib::network::http::testing
