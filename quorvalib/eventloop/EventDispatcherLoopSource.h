#pragma once

#include "quorvalib/eventloop/EventLoopSource.h"

namespace quorvalib::eventloop {

// Delivers events posted to this thread (kMsgDeliverEvent) to their notifier's listeners.
class EventDispatcherLoopSource : public EventLoopSource {
public:
    EventDispatcherLoopSource();
    bool Prepare(int32_t& timeoutMs) override;
    bool Check() override;
    bool Dispatch() override;
};

}  // namespace quorvalib::eventloop
