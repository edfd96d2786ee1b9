#pragma once

#include <cstdint>

namespace quorvalib::core {
class IJob;
}

namespace quorvalib::eventloop {

// Busy marker values of a job thread.
inline constexpr uint32_t kJobIdleAfterStart = 0x80000000u;
inline constexpr uint32_t kJobReserved = 0x80000080u;
inline constexpr uint32_t kJobRunning = 0x81u;
inline constexpr uint32_t kJobIdle = 0u;

// Implemented by a loop's owner thread that wants to know which job it runs (JobThread).
class JobHost {
public:
    virtual void SetJobState(uint32_t busyMarker, core::IJob* job) = 0;

protected:
    ~JobHost() = default;
};

}  // namespace quorvalib::eventloop
