#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "quorvalib/eventloop/EventLoopSource.h"

namespace quorvalib::eventloop {

class EventLoop;
class TimerLoopSource;

// A timer on one loop. StartTimer arms it; the callback runs on the loop's thread. Lives on the
// loop's thread; destroying it (even from its own callback) stops it.
struct LoopTimer {
    enum State { kIdle = 0, kArmed = 1, kFired = 2 };

    LoopTimer(EventLoop& owner, std::string timerName, std::function<void()> onFire);
    ~LoopTimer();
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    std::function<void()> callback;
    uint32_t interval = 0;   // milliseconds
    EventLoop* loop;
    int32_t repeat = 1;      // 1 once, n times, 0 or below for ever
    State state = kIdle;
    TimerLoopSource* source = nullptr;  // while armed
    std::string name;
};

// Arms the timer to fire `repeat` times every `intervalMs`. An armed timer is only re-armed
// (next firing `intervalMs` from now); a timer whose last firing removed its source gets a new
// one. Called from the timer's own callback it starts the timer afresh, one-shot or not.
void StartTimer(LoopTimer& timer, int32_t repeat, uint32_t intervalMs);
// Disarms the timer; safe from its own callback.
void StopTimer(LoopTimer& timer);

class TimerLoopSource : public EventLoopSource {
public:
    TimerLoopSource(LoopTimer* timer, uint32_t due);
    ~TimerLoopSource() override;

    bool Prepare(int32_t& timeoutMs) override;
    bool Check() override;
    bool Dispatch() override;

    void SetDue(uint32_t due) { due_ = due; }
    // The timer is gone: the source removes itself at its next turn.
    void Orphan() { timer_ = nullptr; }

private:
    LoopTimer* timer_;
    uint32_t due_;
};

}  // namespace quorvalib::eventloop
