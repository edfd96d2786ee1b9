#pragma once

#include <atomic>
#include <cstdint>

#include "quorvalib/core/IJob.h"
#include "quorvalib/eventloop/JobHost.h"
#include "quorvalib/system/Athr.h"

// A pooled thread of AthrMan that runs one job at a time. Its busy marker says what it does:
// low byte 0 idle, 0x80 reserved for a job on its way, 0x81 running `CurrentJob()`.
class JobThread : public Athr, public quorvalib::eventloop::JobHost {
public:
    uint32_t BusyMarker() const { return busy_.load(std::memory_order_acquire); }
    quorvalib::core::IJob* CurrentJob() const { return job_.load(std::memory_order_acquire); }
    bool IsIdle() const { return (BusyMarker() & 0xFF) == 0; }
    void Reserve() { busy_.store(quorvalib::eventloop::kJobReserved, std::memory_order_release); }

    // Called by the job source on this thread when a job starts and ends.
    void SetJobState(uint32_t marker, quorvalib::core::IJob* job) override;

protected:
    bool InitInstance() override;

private:
    std::atomic<uint32_t> busy_{0};
    std::atomic<quorvalib::core::IJob*> job_{nullptr};
};
