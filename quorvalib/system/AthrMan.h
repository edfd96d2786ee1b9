#pragma once

// The process-wide pool of job threads.
//
//   AthrMan pool;                                    // one per process, see Global()
//   auto request = std::make_unique<JobRequest>();
//   request->job = std::make_unique<MyJob>();
//   request->finished = &myFinishedNotifier;         // gets the JobFinishedEvent
//   if (!AthrMan::Global()->StartJob(request)) { /* request and job are still ours */ }
//
// Jobs run on an idle thread; when every thread is busy a new one is added (the pool only
// grows). Destroying the pool stops every thread: WM_QUIT, up to 5 s for all, then HardStop
// for each one left (abandoning threads that still do not stop). An abandoned job still
// emits its finished event when it ends, so the finished notifier must outlive its jobs.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "quorvalib/core/IJob.h"
#include "quorvalib/core/JobRequest.h"
#include "quorvalib/system/Athr.h"

class JobThread;

class AthrMan {
public:
    static constexpr size_t kThreadStackSize = 0x40000;

    AthrMan();   // publishes itself as the global manager
    ~AthrMan();  // clears it and stops the pool
    AthrMan(const AthrMan&) = delete;
    AthrMan& operator=(const AthrMan&) = delete;

    static AthrMan* Global();

    // Starts the thread and keeps it; false (thread dropped) if it does not start.
    bool AddThread(std::shared_ptr<Athr> thread);
    // Adds one more job thread.
    bool AnotherThreadCount();
    // Hands the request to the first idle job thread; false if none is idle or the post fails
    // (the request then stays with the caller). The request is moved out on success.
    bool Nastartuj(std::unique_ptr<quorvalib::core::JobRequest>& request);
    // Like Nastartuj, adding threads until one takes the request. False only when no thread
    // can be added; the request then stays with the caller.
    bool StartJob(std::unique_ptr<quorvalib::core::JobRequest>& request);
    // Cancels `job` where it runs (not while it is still on its way to a thread), if the mask
    // is 0 or matches its Kind(): a job that cannot stop by itself is aborted by message.
    // Call it from the thread that receives the job's finished event, so the job cannot be
    // deleted meanwhile. True if a thread ran the job.
    bool CancelJob(quorvalib::core::IJob* job, uint32_t kindMask);

    size_t ThreadCount() const;
    std::shared_ptr<Athr> ThreadAt(size_t index) const;

private:
    size_t IdleCount() const;

    mutable std::recursive_mutex lock_;
    std::vector<std::shared_ptr<Athr>> threads_;
};
