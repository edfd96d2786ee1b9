#pragma once

// Test helper: a transfer back end whose transfers the test ends by hand, on any thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "quorvalib/network/http/HttpDownloadManager.h"

namespace quorvalib::network::http {

struct FakeBackEndState {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<uint64_t> started;         // in start order
    std::set<uint64_t> failStart;          // ids whose Start fails
    std::map<uint64_t, HttpRequest*> live;  // started and not yet released
    std::vector<uint64_t> cancelled;
    int factoriesDestroyed = 0;

    bool WaitStarted(size_t count) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(60), [&] { return started.size() >= count; });
    }
};

class FakeRequest : public HttpRequest {
public:
    FakeRequest(uint64_t id, std::shared_ptr<FakeBackEndState> state)
        : HttpRequest(id), state_(std::move(state)) {}
    ~FakeRequest() override {
        std::lock_guard guard(state_->lock);
        state_->live.erase(Id());
    }
    bool Start() override {
        std::lock_guard guard(state_->lock);
        if (state_->failStart.count(Id())) return false;
        state_->started.push_back(Id());
        state_->live[Id()] = this;
        state_->changed.notify_all();
        return true;
    }
    bool Cancel() override {
        std::lock_guard guard(state_->lock);
        state_->cancelled.push_back(Id());
        return false;  // still going: it reports 450 when the test ends it
    }

private:
    std::shared_ptr<FakeBackEndState> state_;
};

class FakeFactory : public HttpFactory {
public:
    explicit FakeFactory(std::shared_ptr<FakeBackEndState> state) : state_(std::move(state)) {}
    ~FakeFactory() override {
        std::lock_guard guard(state_->lock);
        ++state_->factoriesDestroyed;
    }
    std::unique_ptr<HttpRequest> CreateRequest(uintptr_t, uint64_t taskId) override {
        return std::make_unique<FakeRequest>(taskId, state_);
    }

private:
    std::shared_ptr<FakeBackEndState> state_;
};

// Ends a started transfer as a back end does: report to the manager if it still exists, then
// release the request.
inline void FinishTransfer(FakeBackEndState& state, uint64_t id, int32_t code) {
    HttpRequest* request;
    {
        std::lock_guard guard(state.lock);
        request = state.live.at(id);
    }
    if (auto manager = request->Manager().lock()) manager->OnHttpEvent(*request, code);
    request->Release();
}

}  // namespace quorvalib::network::http
