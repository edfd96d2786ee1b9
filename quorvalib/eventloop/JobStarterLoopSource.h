#pragma once

#include "quorvalib/eventloop/EventLoopSource.h"

namespace quorvalib::eventloop {

// Turns kMsgStartJob (lparam JobRequest*, wparam kStartJobTag) into a JobLoopSource on this
// loop; the request record is freed, its job moves into the source.
class JobStarterLoopSource : public EventLoopSource {
public:
    JobStarterLoopSource();
    bool Prepare(int32_t& timeoutMs) override;
    bool Check() override;
    bool Dispatch() override;
};

}  // namespace quorvalib::eventloop
