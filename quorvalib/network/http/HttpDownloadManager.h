#pragma once

// Runs download tasks one at a time, in submission order, through a transfer back end.
//
//   auto manager = HttpDownloadManager::Create();
//   manager->SetFactory(std::make_unique<HttpFactoryWizard>());
//   manager->ConnectFinished(listener, &Listener::OnHttpEvent);
//   std::unique_ptr<HttpRequest> request = manager->CreateRequest(stream);
//   request->SetUrl(url);
//   uint64_t id = manager->Submit(std::move(request));
//
// The notifiers have no dispatcher: handlers run on the emitting thread (a transfer thread for
// progress and ends, the caller's thread for RemoveTask, a failed start and destruction).
// Listeners therefore connect and disconnect only through the manager, which holds its
// listener lock around every connect, disconnect and emission. A listener disconnects (or the
// manager dies) before the listener is destroyed.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "quorvalib/core/ListenerBase.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/network/http/HttpEvent.h"
#include "quorvalib/network/http/HttpFactory.h"
#include "quorvalib/network/http/HttpProgressEvent.h"
#include "quorvalib/network/http/HttpRequest.h"
#include "quorvalib/network/http/HttpTaskSlot.h"

namespace quorvalib::network::http {

class HttpDownloadManager : public core::ListenerBase,
                            public std::enable_shared_from_this<HttpDownloadManager> {
public:
    static std::shared_ptr<HttpDownloadManager> Create();
    // Cancels the running transfer (its end is then reported to nobody) and reports every
    // queued task as ended with 450, after a progress event of 0 bytes.
    ~HttpDownloadManager() override;

    // Replaces (and deletes) the previous factory.
    void SetFactory(std::unique_ptr<HttpFactory> factory);

    // A request with the next task id writing its body to `output`; null without a factory.
    std::unique_ptr<HttpRequest> CreateRequest(std::shared_ptr<std::ostream> output);
    // Starts the request or queues it behind the running one; returns its id (0 for none).
    // A request whose start fails is reported as ended with 451 and the next one is started.
    uint64_t Submit(std::unique_ptr<HttpRequest> request);
    // The running task: asks it to stop and returns whether it had already ended (its end is
    // reported later, with 450 when it was still going). A queued task: reported as removed
    // (progress 0, then 450) and deleted; true. Unknown id: false.
    bool RemoveTask(uint64_t taskId);

    // Called by the back end on the transfer's thread.
    void OnHttpEvent(HttpRequest& request, int32_t code);
    void OnProgress(HttpRequest& request, uint32_t received);

    template <typename L, typename C>
    void ConnectFinished(L& listener, void (C::*handler)(HttpEvent&)) {
        std::lock_guard guard(listenerLock_);
        core::Connect(listener, finished_, handler);
    }
    template <typename L, typename C>
    void ConnectProgress(L& listener, void (C::*handler)(HttpProgressEvent&)) {
        std::lock_guard guard(listenerLock_);
        core::Connect(listener, progress_, handler);
    }
    // Marks all of the listener's connections dead (core::DisconnectAllDeferred, so every
    // notifier it knows). Safe from inside a handler and from any thread.
    void Disconnect(core::ListenerBase& listener);

private:
    HttpDownloadManager() = default;

    // Under the task lock: starts `request`, or on failure records it in `failed` and goes on
    // with the queue until a start succeeds or the queue is empty.
    void _StartTasks(std::unique_ptr<HttpRequest> request,
                     std::vector<std::unique_ptr<HttpRequest>>& failed);
    bool _StartTask(std::unique_ptr<HttpRequest>& request);
    // Outside the task lock: reports the failed starts (451) and deletes them.
    void _ReportFailedStarts(std::vector<std::unique_ptr<HttpRequest>>& failed);
    void _Emit(core::Notifier& notifier, std::unique_ptr<core::Event> event);

    std::mutex idLock_;  // guards nextId_ and factory_
    uint64_t nextId_ = 1;
    std::unique_ptr<HttpFactory> factory_;

    const std::shared_ptr<HttpTaskSlot> slot_ = std::make_shared<HttpTaskSlot>();  // task lock
    std::deque<std::unique_ptr<HttpRequest>> queue_;                               // under it

    // Taken after the task lock, never before it: nothing is emitted under the task lock.
    std::recursive_mutex listenerLock_;
    core::Notifier finished_;
    core::Notifier progress_;
};

}  // namespace quorvalib::network::http
