#include "quorvalib/core/ProgressMonitor.h"

#include <memory>

#include "quorvalib/core/ProgressMonitorEvent.h"
#include "quorvalib/platform/Tick.h"

namespace quorvalib::core {

ProgressMonitor::ProgressMonitor(NotifiedBase* dispatcher, uint32_t intervalMs)
    : notifier_(dispatcher), clock_(&platform::GetTickCount), interval_(intervalMs) {}

void ProgressMonitor::Add(uint64_t bytes) {
    done_ += bytes;
    if (done_ < nextReport_) return;
    const uint32_t now = clock_();
    // The tick is monotonic, so the unsigned difference is the elapsed time even across a wrap.
    const uint32_t elapsed = now - lastTick_;
    const uint64_t delta = done_ - lastDone_;
    if (elapsed > 0) {
        nextReport_ = done_ + interval_ * delta / elapsed;
        rate_ = delta * 1000 / elapsed;
        Emit(notifier_, std::make_unique<ProgressMonitorEvent>(done_, rate_));
    } else {
        nextReport_ = done_ + 2 * delta;
    }
    lastDone_ = done_;
    lastTick_ = now;
}

}  // namespace quorvalib::core
