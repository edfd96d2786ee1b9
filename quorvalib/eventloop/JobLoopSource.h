#pragma once

#include <memory>

#include "quorvalib/core/JobRequest.h"
#include "quorvalib/eventloop/EventLoopSource.h"

namespace quorvalib::eventloop {

// Runs one job, one Run() step per loop iteration, so messages are handled between steps.
// An abort message (kMsgAbortJob with this job or 0) ends it at once. When the job finishes or
// is aborted, a JobFinishedEvent carrying the job goes to the request's notifier. A source
// destroyed before that deletes its job.
class JobLoopSource : public EventLoopSource {
public:
    explicit JobLoopSource(core::JobRequest request);
    ~JobLoopSource() override;

    void Attach(EventLoop* loop) override;
    bool Prepare(int32_t& timeoutMs) override;
    bool Check() override;
    bool Dispatch() override;

    core::IJob* Job() const { return request_.job.get(); }

private:
    void SetHostState(uint32_t marker, core::IJob* job);

    core::JobRequest request_;
    bool aborted_ = false;
    bool finished_ = false;
};

}  // namespace quorvalib::eventloop
