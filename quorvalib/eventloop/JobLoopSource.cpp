#include "quorvalib/eventloop/JobLoopSource.h"

#include "quorvalib/core/JobFinishedEvent.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/core/NotifiedBase.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/eventloop/EventLoop.h"
#include "quorvalib/eventloop/JobHost.h"
#include "quorvalib/platform/Tick.h"

namespace quorvalib::eventloop {

JobLoopSource::JobLoopSource(core::JobRequest request)
    : EventLoopSource("JobSource", 5500), request_(std::move(request)) {}

JobLoopSource::~JobLoopSource() = default;  // an unfinished job dies with the source

void JobLoopSource::SetHostState(uint32_t marker, core::IJob* job) {
    if (!Loop()) return;
    if (auto* host = dynamic_cast<JobHost*>(Loop()->Owner())) host->SetJobState(marker, job);
}

void JobLoopSource::Attach(EventLoop* loop) {
    EventLoopSource::Attach(loop);
    SetHostState(kJobRunning, request_.job.get());
}

bool JobLoopSource::Prepare(int32_t&) { return true; }

bool JobLoopSource::Check() {
    EventLoop* loop = Loop();
    if (loop->HasCurrentMessage() && loop->CurrentMessage() == core::kMsgAbortJob) {
        const intptr_t target = loop->CurrentLParam();
        if (target == 0 || target == reinterpret_cast<intptr_t>(request_.job.get())) {
            aborted_ = true;
        }
    }
    return true;
}

bool JobLoopSource::Dispatch() {
    if (aborted_) {
        Loop()->ConsumeMessage();
    } else if (request_.job && !request_.job->Run()) {
        finished_ = true;
    } else if (request_.job) {
        return true;
    }
    // The thread is idle again before the job is handed on: once the receiver owns (and may
    // delete) the job, nothing here points at it any more.
    SetHostState(kJobIdle, nullptr);
    auto event = std::make_unique<core::JobFinishedEvent>();
    event->job = std::move(request_.job);
    event->userValue = request_.userValue;
    event->startTick = request_.startTick;
    event->endTick = platform::GetTickCount();
    event->aborted = aborted_;
    if (request_.finished) core::Emit(*request_.finished, std::move(event));
    return false;
}

}  // namespace quorvalib::eventloop
