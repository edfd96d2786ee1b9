#pragma once

#include <cstdint>

#include "quorvalib/core/Event.h"

namespace quorvalib::core {

class ProgressMonitorEvent : public Event {
public:
    ProgressMonitorEvent(uint64_t doneBytes, uint64_t bytesPerSecond)
        : done(doneBytes), rate(bytesPerSecond) {}
    uint32_t DoneLow() const { return static_cast<uint32_t>(done); }
    uint32_t DoneHigh() const { return static_cast<uint32_t>(done >> 32); }

    uint64_t done;  // bytes processed so far
    uint64_t rate;  // bytes per second over the last interval
};

}  // namespace quorvalib::core
