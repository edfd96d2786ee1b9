#include "quorvalib/eventloop/AsyncCallLoopSource.h"

#include "common/debug/Log.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/core/NotifiedBase.h"
#include "quorvalib/eventloop/EventLoop.h"

TOV_DEFINE_LOG_CHANNEL(AsyncCall);

namespace quorvalib::eventloop {

AsyncCallLoopSource::AsyncCallLoopSource(core::NotifiedBase* thread)
    : EventLoopSource("AsyncCall", 1000, {core::kMsgRunCalls}), thread_(thread) {}

bool AsyncCallLoopSource::Prepare(int32_t&) { return false; }

bool AsyncCallLoopSource::Check() {
    return Loop()->HasCurrentMessage() && Loop()->CurrentMessage() == core::kMsgRunCalls;
}

bool AsyncCallLoopSource::Dispatch() {
    Loop()->ConsumeMessage();
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard guard(lock_);
            if (calls_.empty()) break;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
    return true;
}

void AsyncCallLoopSource::Append(std::function<void()> call) {
    std::lock_guard guard(lock_);
    calls_.push_back(std::move(call));
}

size_t AsyncCallLoopSource::Pending() const {
    std::lock_guard guard(lock_);
    return calls_.size();
}

bool PostCall(AsyncCallLoopSource& calls, std::function<void()> call) {
    if (!call) {
        // Running it would abort the target thread.
        TOV_LOG_ERROR(AsyncCall, "quorvalib::eventloop::PostCall: empty call refused.");
        return false;
    }
    calls.Append(std::move(call));
    return calls.Thread() && calls.Thread()->PostMsg(core::kMsgRunCalls, 0, 0);
}

}  // namespace quorvalib::eventloop
