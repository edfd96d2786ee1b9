#pragma once

#include <cstdint>

namespace quorvalib::core {

// A unit of work run step by step on a job thread; messages are handled between steps.
class IJob {
public:
    // Performs one step: true while more steps remain, false when finished.
    virtual bool Run() = 0;
    virtual ~IJob() = default;
    // Asks the job to stop by itself; true if it will (it then finishes at a later step).
    // Called from another thread than Run: implementations keep their flag atomic.
    virtual bool Cancel() { return false; }
    virtual bool IsCancelled() const { return false; }
    // Bit mask naming the job's kind, used to pick jobs for cancellation.
    virtual uint32_t Kind() const { return 0; }
};

}  // namespace quorvalib::core
