#include "quorvalib/eventloop/JobStarterLoopSource.h"

#include <memory>

#include "common/debug/Log.h"
#include "quorvalib/core/JobRequest.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/eventloop/EventLoop.h"
#include "quorvalib/eventloop/JobLoopSource.h"
#include "quorvalib/platform/Tick.h"

TOV_DEFINE_LOG_CHANNEL(JobStarter);

namespace quorvalib::eventloop {

JobStarterLoopSource::JobStarterLoopSource()
    : EventLoopSource("JobStarter", 4000, {core::kMsgStartJob}) {}

bool JobStarterLoopSource::Prepare(int32_t&) { return false; }

bool JobStarterLoopSource::Check() {
    EventLoop* loop = Loop();
    if (!loop->HasCurrentMessage() || loop->CurrentMessage() != core::kMsgStartJob) return false;
    // A start message without the tag is not ours to interpret; Dispatch drops it rather than
    // leaving it current for ever.
    if (loop->CurrentWParam() != core::kStartJobTag) return true;
    std::unique_ptr<core::JobRequest> request(
        reinterpret_cast<core::JobRequest*>(loop->CurrentLParam()));
    if (!request) return true;
    request->startTick = platform::GetTickCount();
    loop->AttachOwned(std::make_unique<JobLoopSource>(std::move(*request)));
    return true;
}

bool JobStarterLoopSource::Dispatch() {
    EventLoop* loop = Loop();
    if (loop->CurrentWParam() != core::kStartJobTag) {
        TOV_LOG_ERROR(JobStarter, "Start message with tag %X instead of %X dropped.",
                      loop->CurrentWParam(), core::kStartJobTag);
    }
    loop->ConsumeMessage();
    return true;
}

}  // namespace quorvalib::eventloop
