#include "tools/tovctl/ServiceEvents.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include "updaterlib/UpdaterService.h"

namespace tovctl {

ServiceEvents::ServiceEvents() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ServiceEvents::~ServiceEvents() {
    if (fd_ >= 0) close(fd_);
}

void ServiceEvents::_Push(ServiceNotice notice) {
    {
        std::lock_guard guard(lock_);
        notices_.push_back(std::move(notice));
    }
    const uint64_t one = 1;
    // The counter only wakes the loop; a full counter already does.
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

bool ServiceEvents::Take(ServiceNotice& notice) {
    std::lock_guard guard(lock_);
    if (notices_.empty()) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t drained = read(fd_, &count, sizeof count);
        return false;
    }
    notice = std::move(notices_.front());
    notices_.pop_front();
    return true;
}

void ServiceEvents::OnProgress(updaterlib::ProgressEvent& event) {
    ServiceNotice notice;
    notice.kind = ServiceNotice::kProgress;
    notice.progress = std::make_unique<updaterlib::ProgressEvent>(
        event.kind, event.done, event.itemDone, event.total, event.itemTotal, event.text);
    _Push(std::move(notice));
}

void ServiceEvents::OnTaskDone(updaterlib::TaskDoneEvent& event) {
    ServiceNotice notice;
    notice.kind = ServiceNotice::kTaskDone;
    notice.task = event.kind;
    notice.code = event.code;
    notice.message = event.message;
    _Push(std::move(notice));
}

void ServiceEvents::OnStateChanged(updaterlib::StateChangedEvent& event) {
    ServiceNotice notice;
    notice.kind = ServiceNotice::kStateChanged;
    notice.state = event.newState;
    _Push(std::move(notice));
}

}  // namespace tovctl
