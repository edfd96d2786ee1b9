#include "quorvalib/eventloop/EventLoopSource.h"

#include <algorithm>

#include "quorvalib/eventloop/EventLoop.h"

namespace quorvalib::eventloop {

EventLoopSource::EventLoopSource(std::string name, int32_t priority,
                                 std::vector<uint32_t> messages)
    : name_(std::move(name)), priority_(priority), messages_(std::move(messages)) {}

EventLoopSource::~EventLoopSource() {
    if (loop_) loop_->RemoveSource(this);
}

void EventLoopSource::Attach(EventLoop* loop) {
    if (!loop) return;
    loop->AddSource(this);
}

void EventLoopSource::Detach() {
    if (loop_) loop_->RemoveSource(this);
}

bool EventLoopSource::AddDescriptor(const WaitEntry& entry) {
    descriptors_.push_back(entry);
    if (loop_ && !IsMessageSource()) loop_->AddDescriptorOf(this, entry);
    return true;
}

bool EventLoopSource::RemoveDescriptor(platform::SyncEvent* handle) {
    const auto before = descriptors_.size();
    std::erase_if(descriptors_, [&](const WaitEntry& entry) { return entry.handle == handle; });
    if (loop_ && !IsMessageSource()) loop_->RemoveDescriptorOf(this, handle);
    return descriptors_.size() != before;
}

void EventLoopSource::DescriptorsMoved(WaitEntry*, size_t) {}

}  // namespace quorvalib::eventloop
