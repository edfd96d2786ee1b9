#pragma once

#include <mutex>

namespace quorvalib::network::http {

class HttpRequest;

// The download manager's task lock and its running request. Shared with the manager's requests,
// so that a request ending on its own thread after the manager is gone never races the
// manager's last look at it: a request leaves the slot under the lock before it is deleted.
struct HttpTaskSlot {
    std::recursive_mutex lock;
    HttpRequest* running = nullptr;  // not owned: a started request owns itself

    // Clears the slot if `request` still holds it.
    void Leave(const HttpRequest* request) {
        std::lock_guard guard(lock);
        if (running == request) running = nullptr;
    }
};

}  // namespace quorvalib::network::http
