#pragma once

// Carries the updater service's notifications to the main thread: the handlers run on the
// service's, a transfer's or the caller's thread and only queue a copy and wake the main
// loop through an eventfd.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "quorvalib/core/ListenerBase.h"
#include "updaterlib/ProgressEvent.h"

namespace updaterlib {
class TaskDoneEvent;
class StateChangedEvent;
}  // namespace updaterlib

namespace tovctl {

struct ServiceNotice {
    enum Kind { kProgress, kTaskDone, kStateChanged } kind = kProgress;
    std::unique_ptr<updaterlib::ProgressEvent> progress;  // kProgress
    int32_t task = 0;                                     // kTaskDone: 1 sync, 2 prepare, 3 process
    int32_t code = 0;                                     // kTaskDone
    std::string message;                                  // kTaskDone
    int32_t state = 0;                                    // kStateChanged: the new state
};

class ServiceEvents : public quorvalib::core::ListenerBase {
public:
    ServiceEvents();
    ~ServiceEvents() override;

    bool Valid() const { return fd_ >= 0; }
    // Readable while notices are queued.
    int Fd() const { return fd_; }
    // The oldest queued notice, or false when none is left.
    bool Take(ServiceNotice& notice);

    void OnProgress(updaterlib::ProgressEvent& event);
    void OnTaskDone(updaterlib::TaskDoneEvent& event);
    void OnStateChanged(updaterlib::StateChangedEvent& event);

private:
    void _Push(ServiceNotice notice);

    int fd_ = -1;
    std::mutex lock_;
    std::deque<ServiceNotice> notices_;
};

}  // namespace tovctl
