#include "quorvalib/network/http/HttpDownloadManager.h"

#include "common/debug/Log.h"

TOV_DEFINE_LOG_CHANNEL(HttpDownloadManager);

namespace quorvalib::network::http {

std::shared_ptr<HttpDownloadManager> HttpDownloadManager::Create() {
    return std::shared_ptr<HttpDownloadManager>(new HttpDownloadManager());
}

HttpDownloadManager::~HttpDownloadManager() {
    std::deque<std::unique_ptr<HttpRequest>> queued;
    {
        std::lock_guard guard(slot_->lock);
        if (slot_->running) {
            slot_->running->Cancel();  // not waited for; it ends on its own thread
            slot_->running = nullptr;
        }
        queued.swap(queue_);
    }
    for (auto& request : queued) {
        const uint64_t id = request->Id();
        _Emit(progress_, std::make_unique<HttpProgressEvent>(id, 0));
        _Emit(finished_, std::make_unique<HttpEvent>(id, HttpEvent::kCancelled));
        request.reset();
    }
}

void HttpDownloadManager::SetFactory(std::unique_ptr<HttpFactory> factory) {
    std::unique_ptr<HttpFactory> previous;
    std::lock_guard guard(idLock_);
    previous = std::move(factory_);
    factory_ = std::move(factory);
}

std::unique_ptr<HttpRequest> HttpDownloadManager::CreateRequest(std::shared_ptr<std::ostream> output) {
    std::unique_ptr<HttpRequest> request;
    {
        std::lock_guard guard(idLock_);
        if (!factory_) return nullptr;
        request = factory_->CreateRequest(0, nextId_++);
    }
    if (!request) return nullptr;
    request->SetManager(weak_from_this(), slot_);
    request->SetOutput(std::move(output));
    return request;
}

uint64_t HttpDownloadManager::Submit(std::unique_ptr<HttpRequest> request) {
    if (!request) return 0;
    const uint64_t id = request->Id();
    std::vector<std::unique_ptr<HttpRequest>> failed;
    {
        std::lock_guard guard(slot_->lock);
        if (slot_->running) queue_.push_back(std::move(request));
        else _StartTasks(std::move(request), failed);
    }
    _ReportFailedStarts(failed);
    return id;
}

void HttpDownloadManager::_StartTasks(std::unique_ptr<HttpRequest> request,
                                      std::vector<std::unique_ptr<HttpRequest>>& failed) {
    while (request) {
        if (_StartTask(request)) return;
        failed.push_back(std::move(request));
        if (!queue_.empty()) {
            request = std::move(queue_.front());
            queue_.pop_front();
        }
    }
}

bool HttpDownloadManager::_StartTask(std::unique_ptr<HttpRequest>& request) {
    if (slot_->running) {
        TOV_LOG_ERROR(HttpDownloadManager, "Unable to start new task. One is already running.");
        return false;
    }
    slot_->running = request.get();
    if (!request->Start()) {
        TOV_LOG_ERROR(HttpDownloadManager, "Failed to start new download.");
        slot_->running = nullptr;
        return false;
    }
    // Started: the request now belongs to its transfer, which releases it at its end. It
    // cannot end before we let go of the task lock (it leaves the slot under it first).
    static_cast<void>(request.release());
    return true;
}

void HttpDownloadManager::_ReportFailedStarts(std::vector<std::unique_ptr<HttpRequest>>& failed) {
    for (auto& request : failed) {
        _Emit(finished_, std::make_unique<HttpEvent>(request->Id(), HttpEvent::kNoAnswer));
        request.reset();
    }
}

bool HttpDownloadManager::RemoveTask(uint64_t taskId) {
    std::unique_ptr<HttpRequest> removed;
    {
        std::lock_guard guard(slot_->lock);
        if (slot_->running && slot_->running->Id() == taskId) {
            const bool ended = slot_->running->Cancel();
            if (!ended) {
                TOV_LOG_WARNING(HttpDownloadManager, "Failed to remove running task ID %i.", taskId);
            }
            return ended;
        }
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if ((*it)->Id() == taskId) {
                removed = std::move(*it);
                queue_.erase(it);
                break;
            }
        }
    }
    if (!removed) return false;
    _Emit(progress_, std::make_unique<HttpProgressEvent>(taskId, 0));
    _Emit(finished_, std::make_unique<HttpEvent>(taskId, HttpEvent::kCancelled));
    return true;
}

void HttpDownloadManager::OnHttpEvent(HttpRequest& request, int32_t code) {
    if (code < 100) {
        TOV_LOG_ERROR(HttpDownloadManager,
                      "Http response code lower than 100! Current response code: %d. %s", code,
                      request.Describe());
    }
    _Emit(finished_, std::make_unique<HttpEvent>(request.Id(), code));
    std::vector<std::unique_ptr<HttpRequest>> failed;
    {
        std::lock_guard guard(slot_->lock);
        if (slot_->running == &request) slot_->running = nullptr;
        if (!slot_->running && !queue_.empty()) {
            std::unique_ptr<HttpRequest> next = std::move(queue_.front());
            queue_.pop_front();
            _StartTasks(std::move(next), failed);
        }
    }
    _ReportFailedStarts(failed);
}

void HttpDownloadManager::OnProgress(HttpRequest& request, uint32_t received) {
    _Emit(progress_, std::make_unique<HttpProgressEvent>(request.Id(), received));
}

void HttpDownloadManager::Disconnect(core::ListenerBase& listener) {
    std::lock_guard guard(listenerLock_);
    core::DisconnectAllDeferred(listener);
}

void HttpDownloadManager::_Emit(core::Notifier& notifier, std::unique_ptr<core::Event> event) {
    std::lock_guard guard(listenerLock_);
    core::Emit(notifier, std::move(event));
}

}  // namespace quorvalib::network::http
