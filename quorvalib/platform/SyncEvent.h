#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace quorvalib::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

namespace detail {
// Something blocked on several objects at once (a thread waiting on its queue plus events).
class Waiter {
public:
    virtual void Wake() = 0;

protected:
    ~Waiter() = default;
};
}  // namespace detail

// An event object. Auto-reset: a successful wait consumes the signal and releases one waiter.
// Manual-reset: stays set until Reset() and releases every waiter. Setting it also wakes every
// thread blocked in WaitForQueueOrEvents() on it. All operations are thread-safe.
class SyncEvent {
public:
    enum class Mode { Auto, Manual };

    explicit SyncEvent(Mode mode, bool initiallySet = false);
    SyncEvent(const SyncEvent&) = delete;
    SyncEvent& operator=(const SyncEvent&) = delete;
    ~SyncEvent();

    void Set();
    void Reset();
    // True when the event was (or became) set within the time-out; kInfinite waits for ever.
    bool Wait(uint32_t timeoutMs = kInfinite);
    bool IsSet() const;

private:
    friend class WaitAccess;
    // Takes the signal if set (auto-reset clears it). Used by multi-object waits.
    bool TryConsume();
    void AddWaiter(detail::Waiter* waiter);
    void RemoveWaiter(detail::Waiter* waiter);

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<detail::Waiter*> waiters_;
    const bool manual_;
    bool signalled_;
};

}  // namespace quorvalib::platform
