#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quorvalib/eventloop/WaitEntry.h"

namespace quorvalib::platform {
class SyncEvent;
}

namespace quorvalib::eventloop {

class EventLoop;

// One kind of work an EventLoop multiplexes. A polled source is asked every iteration whether
// it is ready (Prepare) and wants to run (Check); a message source names the thread messages it
// handles and is checked when one of them is current. Smaller priority runs first.
//
// Auto delete (the default): the loop owns the source once attached and deletes it when its
// Dispatch returns false or the loop dies. Sources owned elsewhere call SetAutoDelete(false).
class EventLoopSource {
public:
    EventLoopSource(std::string name, int32_t priority, std::vector<uint32_t> messages = {});
    virtual ~EventLoopSource();  // detaches from the loop
    EventLoopSource(const EventLoopSource&) = delete;
    EventLoopSource& operator=(const EventLoopSource&) = delete;

    // Whether the source can run now; may lower `timeoutMs` (preset to -1, meaning none) to the
    // milliseconds until it wants to run.
    virtual bool Prepare(int32_t& timeoutMs) = 0;
    // Whether the source wants to run in this iteration.
    virtual bool Check() = 0;
    // Runs the source; false means finished: the loop detaches it.
    virtual bool Dispatch() = 0;

    virtual void Attach(EventLoop* loop);
    virtual void Detach();
    virtual bool AddDescriptor(const WaitEntry& entry);
    // True if any entry with this handle was removed.
    virtual bool RemoveDescriptor(platform::SyncEvent* handle);
    // Where the loop now keeps this source's entries (with their signalled flags).
    virtual void DescriptorsMoved(WaitEntry* entries, size_t count);

    int32_t Priority() const { return priority_; }
    EventLoop* Loop() const { return loop_; }
    const std::string& Name() const { return name_; }
    const std::vector<uint32_t>& Messages() const { return messages_; }
    bool IsMessageSource() const { return !messages_.empty(); }
    bool AutoDelete() const { return autoDelete_; }
    void SetAutoDelete(bool autoDelete) { autoDelete_ = autoDelete; }
    const std::vector<WaitEntry>& Descriptors() const { return descriptors_; }

private:
    friend class EventLoop;
    const std::string name_;
    const int32_t priority_;
    const std::vector<uint32_t> messages_;
    EventLoop* loop_ = nullptr;
    std::vector<WaitEntry> descriptors_;
    bool autoDelete_ = true;
};

}  // namespace quorvalib::eventloop
