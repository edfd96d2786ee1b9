#include "quorvalib/platform/SyncEvent.h"

#include <algorithm>
#include <chrono>

namespace quorvalib::platform {

SyncEvent::SyncEvent(Mode mode, bool initiallySet)
    : manual_(mode == Mode::Manual), signalled_(initiallySet) {}

SyncEvent::~SyncEvent() = default;

void SyncEvent::Set() {
    std::lock_guard guard(lock_);
    signalled_ = true;
    if (manual_) changed_.notify_all();
    else changed_.notify_one();
    // Waking under our lock keeps a waiter from unregistering and vanishing meanwhile; the
    // waiters never take an event lock while holding their own.
    for (detail::Waiter* waiter : waiters_) waiter->Wake();
}

void SyncEvent::Reset() {
    std::lock_guard guard(lock_);
    signalled_ = false;
}

bool SyncEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock guard(lock_);
    auto isSet = [this] { return signalled_; };
    if (timeoutMs == kInfinite) {
        changed_.wait(guard, isSet);
    } else if (!changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), isSet)) {
        return false;
    }
    if (!manual_) signalled_ = false;
    return true;
}

bool SyncEvent::IsSet() const {
    std::lock_guard guard(lock_);
    return signalled_;
}

bool SyncEvent::TryConsume() {
    std::lock_guard guard(lock_);
    if (!signalled_) return false;
    if (!manual_) signalled_ = false;
    return true;
}

void SyncEvent::AddWaiter(detail::Waiter* waiter) {
    std::lock_guard guard(lock_);
    waiters_.push_back(waiter);
}

void SyncEvent::RemoveWaiter(detail::Waiter* waiter) {
    std::lock_guard guard(lock_);
    auto found = std::find(waiters_.begin(), waiters_.end(), waiter);
    if (found != waiters_.end()) waiters_.erase(found);
}

}  // namespace quorvalib::platform
