#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "quorvalib/eventloop/EventLoopSource.h"

namespace quorvalib::core {
class NotifiedBase;
}

namespace quorvalib::eventloop {

// Runs calls queued from any thread (PostCall) on the loop's thread, oldest first, when
// kMsgRunCalls arrives. The lock is held only to append or take one call.
class AsyncCallLoopSource : public EventLoopSource {
public:
    // `thread` is the thread whose loop this source is attached to; PostCall wakes it.
    explicit AsyncCallLoopSource(core::NotifiedBase* thread);

    bool Prepare(int32_t& timeoutMs) override;
    bool Check() override;
    bool Dispatch() override;

    core::NotifiedBase* Thread() const { return thread_; }
    void Append(std::function<void()> call);
    size_t Pending() const;

private:
    core::NotifiedBase* const thread_;
    mutable std::mutex lock_;
    std::deque<std::function<void()>> calls_;
};

// Queues `call` on the thread of `calls` and wakes it. An empty call is refused (false). A
// failed post returns false but leaves the call queued for the thread's next wake-up.
bool PostCall(AsyncCallLoopSource& calls, std::function<void()> call);

}  // namespace quorvalib::eventloop
