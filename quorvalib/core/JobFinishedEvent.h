#pragma once

#include <cstdint>
#include <memory>

#include "quorvalib/core/Event.h"
#include "quorvalib/core/IJob.h"

namespace quorvalib::core {

// Emitted when a job finishes or is aborted. The receiver takes the job out of the event
// (otherwise it dies with the event).
class JobFinishedEvent : public Event {
public:
    std::unique_ptr<IJob> job;
    uintptr_t userValue = 0;
    uint32_t startTick = 0;
    uint32_t endTick = 0;
    bool aborted = false;  // stopped by an abort message rather than by finishing
};

}  // namespace quorvalib::core
