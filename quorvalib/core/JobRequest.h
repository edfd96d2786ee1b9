#pragma once

#include <cstdint>
#include <memory>

#include "quorvalib/core/IJob.h"

namespace quorvalib::core {

class Notifier;

// What the thread manager needs to run one job. Handed over as a whole: the job thread frees
// the record when the job starts and passes the job on in its JobFinishedEvent.
struct JobRequest {
    std::unique_ptr<IJob> job;
    Notifier* finished = nullptr;  // receives the JobFinishedEvent; must outlive the job
    uintptr_t userValue = 0;       // copied into the finished event
    uint32_t startTick = 0;        // set by the worker when the job starts
};

}  // namespace quorvalib::core
