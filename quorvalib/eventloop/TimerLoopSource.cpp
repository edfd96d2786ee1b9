#include "quorvalib/eventloop/TimerLoopSource.h"

#include <memory>

#include "quorvalib/eventloop/EventLoop.h"
#include "quorvalib/platform/Tick.h"

namespace quorvalib::eventloop {

using platform::GetTickCount;
using platform::TickDiff;

LoopTimer::LoopTimer(EventLoop& owner, std::string timerName, std::function<void()> onFire)
    : callback(std::move(onFire)), loop(&owner), name(std::move(timerName)) {}

LoopTimer::~LoopTimer() {
    if (source) source->Orphan();
}

void StartTimer(LoopTimer& timer, int32_t repeat, uint32_t intervalMs) {
    timer.repeat = repeat;
    timer.interval = intervalMs;
    const uint32_t due = GetTickCount() + intervalMs;
    if (timer.source) {
        timer.source->SetDue(due);
    } else {
        auto source = std::make_unique<TimerLoopSource>(&timer, due);
        timer.source = source.get();
        timer.loop->AttachOwned(std::move(source));
    }
    timer.state = LoopTimer::kArmed;
}

void StopTimer(LoopTimer& timer) {
    if (timer.source) {
        timer.source->Orphan();
        timer.source = nullptr;
    }
    timer.state = LoopTimer::kIdle;
}

TimerLoopSource::TimerLoopSource(LoopTimer* timer, uint32_t due)
    : EventLoopSource(timer->name, 1500), timer_(timer), due_(due) {}

TimerLoopSource::~TimerLoopSource() {
    if (timer_ && timer_->source == this) timer_->source = nullptr;
}

bool TimerLoopSource::Prepare(int32_t& timeoutMs) {
    if (!timer_) {
        timeoutMs = 0;
        return true;
    }
    const int32_t remaining = TickDiff(due_, GetTickCount());
    if (remaining > 0) {
        timeoutMs = remaining;
        return false;
    }
    timeoutMs = 0;
    return true;
}

bool TimerLoopSource::Check() { return !timer_ || TickDiff(due_, GetTickCount()) <= 0; }

bool TimerLoopSource::Dispatch() {
    if (!timer_) return false;
    timer_->state = LoopTimer::kFired;
    // A copy: the callback may destroy its timer.
    const std::function<void()> callback = timer_->callback;
    if (callback) callback();
    if (!timer_) return false;  // stopped or destroyed by its callback
    // Re-armed by its own callback: StartTimer already set the due time and repeat count, and
    // the source must stay, or a one-shot timer would lose the new start.
    if (timer_->state == LoopTimer::kArmed) return true;
    if (timer_->repeat == 1) {
        timer_->source = nullptr;
        timer_ = nullptr;
        return false;
    }
    if (timer_->repeat > 1) --timer_->repeat;
    due_ = GetTickCount() + timer_->interval;
    return true;
}

}  // namespace quorvalib::eventloop
