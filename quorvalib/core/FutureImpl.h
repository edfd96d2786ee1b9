#pragma once

#include <cstdint>

#include "quorvalib/platform/SyncEvent.h"

namespace quorvalib::core {

// A one-shot result slot: one thread sets the value, another waits for it.
template <typename T = bool>
class FutureImpl {
public:
    FutureImpl() = default;
    virtual ~FutureImpl() = default;
    FutureImpl(const FutureImpl&) = delete;
    FutureImpl& operator=(const FutureImpl&) = delete;

    void Set(T value) {
        value_ = value;
        ready_.Set();  // publishes value_ to the waiter
    }
    // True once set within the time-out; then Value() may be read.
    bool Wait(uint32_t timeoutMs = platform::kInfinite) { return ready_.Wait(timeoutMs); }
    T Value() const { return value_; }

private:
    platform::SyncEvent ready_{platform::SyncEvent::Mode::Manual};
    T value_{};
};

}  // namespace quorvalib::core
