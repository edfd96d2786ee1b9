#include "quorvalib/eventloop/EventDispatcherLoopSource.h"

#include <memory>

#include "quorvalib/core/Messages.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/eventloop/EventLoop.h"

namespace quorvalib::eventloop {

EventDispatcherLoopSource::EventDispatcherLoopSource()
    : EventLoopSource("EventDispatcher", 1000, {core::kMsgDeliverEvent}) {}

bool EventDispatcherLoopSource::Prepare(int32_t&) { return false; }

bool EventDispatcherLoopSource::Check() {
    return Loop()->HasCurrentMessage() && Loop()->CurrentMessage() == core::kMsgDeliverEvent;
}

bool EventDispatcherLoopSource::Dispatch() {
    // The message owned the event; delivery deletes it.
    std::unique_ptr<core::Event> event(reinterpret_cast<core::Event*>(Loop()->CurrentLParam()));
    Loop()->ConsumeMessage();
    if (event) {
        core::Notifier* source = event->source;
        core::Deliver(*source, std::move(event));
    }
    return true;
}

}  // namespace quorvalib::eventloop
