#pragma once

#include <cstdint>

#include "quorvalib/core/Notifier.h"

namespace quorvalib::core {

class NotifiedBase;

// Byte progress of a job, reported about once per interval whatever the speed: after each
// chunk the job calls Add(); a ProgressMonitorEvent goes out through Progress() when the bytes
// expected for one interval have been added. The first chunk always reports. Used only by the
// thread that runs the job; events are delivered on the dispatcher given at construction.
class ProgressMonitor {
public:
    using Clock = uint32_t (*)();

    explicit ProgressMonitor(NotifiedBase* dispatcher, uint32_t intervalMs = 500);

    void Add(uint64_t bytes);

    Notifier& Progress() { return notifier_; }
    uint64_t Done() const { return done_; }
    uint64_t Rate() const { return rate_; }
    uint64_t NextReport() const { return nextReport_; }
    // Replaces GetTickCount, for tests.
    void SetClock(Clock clock) { clock_ = clock; }

private:
    Notifier notifier_;
    Clock clock_;
    uint64_t done_ = 0;
    uint64_t nextReport_ = 1;
    uint64_t lastDone_ = 0;
    uint32_t lastTick_ = 0;
    uint32_t interval_;
    uint64_t rate_ = 0;
};

}  // namespace quorvalib::core
