#pragma once

// Test helper: records the events of a download manager, in arrival order, from any thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "quorvalib/network/http/HttpDownloadManager.h"

namespace quorvalib::network::http {

class HttpEventRecorder : public core::ListenerBase {
public:
    struct End {
        uint64_t id;
        int32_t code;
        bool operator==(const End&) const = default;
    };

    explicit HttpEventRecorder(const std::shared_ptr<HttpDownloadManager>& manager)
        : manager_(manager) {
        manager->ConnectFinished(*this, &HttpEventRecorder::OnFinished);
        manager->ConnectProgress(*this, &HttpEventRecorder::OnProgress);
    }
    ~HttpEventRecorder() override {
        if (auto manager = manager_.lock()) manager->Disconnect(*this);
    }

    // "end <id> <code>" and "progress <id> <bytes>" lines.
    std::vector<std::string> Journal() const {
        std::lock_guard guard(lock_);
        return journal_;
    }
    std::vector<End> Ends() const {
        std::lock_guard guard(lock_);
        return ends_;
    }
    std::vector<uint32_t> Progress(uint64_t id) const {
        std::lock_guard guard(lock_);
        std::vector<uint32_t> bytes;
        for (const auto& [task, received] : progress_) {
            if (task == id) bytes.push_back(received);
        }
        return bytes;
    }
    // Waits until `count` ends arrived; the bound is only ever reached by a hang.
    bool WaitForEnds(size_t count, std::chrono::seconds timeout = std::chrono::seconds(60)) const {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, timeout, [&] { return ends_.size() >= count; });
    }
    bool WaitForProgress(uint64_t id, std::chrono::seconds timeout = std::chrono::seconds(60)) const {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, timeout, [&] {
            for (const auto& entry : progress_) {
                if (entry.first == id && entry.second > 0) return true;
            }
            return false;
        });
    }

private:
    void OnFinished(HttpEvent& event) {
        std::lock_guard guard(lock_);
        ends_.push_back({event.taskId, event.code});
        journal_.push_back("end " + std::to_string(event.taskId) + " " + std::to_string(event.code));
        changed_.notify_all();
    }
    void OnProgress(HttpProgressEvent& event) {
        std::lock_guard guard(lock_);
        progress_.emplace_back(event.taskId, event.received);
        journal_.push_back("progress " + std::to_string(event.taskId) + " " +
                           std::to_string(event.received));
        changed_.notify_all();
    }

    std::weak_ptr<HttpDownloadManager> manager_;
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<std::string> journal_;
    std::vector<End> ends_;
    std::vector<std::pair<uint64_t, uint32_t>> progress_;
};

}  // namespace quorvalib::network::http
