#pragma once

// The loop every library thread runs. Each iteration prepares the polled sources, waits for a
// thread message, a wait handle or the nearest time-out (never blocking while a source is
// ready), fetches at most one message, and dispatches exactly one source:
//  - the first polled source (by priority) whose Check is true, among those whose priority is
//    not greater than the current message's source; equal priorities take turns;
//  - otherwise the current message's source, if it accepts the message. A message nobody
//    handles is dropped. A message its source does not consume stays current and is offered
//    again next iteration (no new message is fetched meanwhile).
// Everything runs on the owning thread; only PostCall and posting messages come from others.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quorvalib/eventloop/EventLoopSource.h"
#include "quorvalib/eventloop/WaitEntry.h"
#include "quorvalib/platform/ThreadQueue.h"

namespace quorvalib::core {
class NotifiedBase;
}

namespace quorvalib::eventloop {

class EventLoop {
public:
    explicit EventLoop(core::NotifiedBase* owner);
    // Removes all wait entries, detaches every source and deletes the auto-delete ones.
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Runs until WM_QUIT. False at once when the loop has no sources at all.
    bool Run();
    // Set once WM_QUIT was read; readable from any thread.
    bool HasQuit() const { return quit_.load(std::memory_order_acquire); }

    core::NotifiedBase* Owner() const { return owner_; }

    // Attaches a source the loop then owns (auto delete is forced on).
    void AttachOwned(std::unique_ptr<EventLoopSource> source);

    // The message being handled, for message sources and for polled sources that react to it.
    bool HasCurrentMessage() const { return current_.has; }
    uint32_t CurrentMessage() const { return current_.message.message; }
    intptr_t CurrentLParam() const { return current_.message.lparam; }
    uintptr_t CurrentWParam() const { return current_.message.wparam; }
    uint32_t CurrentTime() const { return current_.message.time; }
    // Marks the current message handled.
    void ConsumeMessage();
    // After Run: a message fetched together with WM_QUIT that was never dispatched.
    bool TakeUndispatchedMessage(platform::ThreadMessage& message);

    uint32_t LastTick() const { return lastTick_; }

    // Registration, called from EventLoopSource::Attach/Detach and the destructor.
    bool AddSource(EventLoopSource* source);
    bool RemoveSource(EventLoopSource* source);

    // Wait entries of an attached polled source.
    std::pair<WaitEntry*, size_t> DescriptorsOf(const EventLoopSource* source);
    void AddDescriptorOf(EventLoopSource* source, const WaitEntry& entry);
    void RemoveDescriptorOf(EventLoopSource* source, platform::SyncEvent* handle);

    // Polled sources in their current order (for inspection).
    std::vector<EventLoopSource*> PolledSources() const {
        return {polled_.begin(), polled_.end()};
    }

private:
    struct Range {
        size_t first = 0;
        size_t count = 0;
    };
    struct Current {
        bool has = false;
        platform::ThreadMessage message;
    };
    using PolledList = std::list<EventLoopSource*>;

    void Iterate();
    bool PrepareSources(const EventLoopSource* limit, int32_t& timeoutMs);
    void Wait(int32_t timeoutMs);
    bool Fetch();
    void DispatchOne();
    void Finish(EventLoopSource* source);
    EventLoopSource* FindMessageSource(uint32_t message) const;
    void AddAllDescriptors(EventLoopSource* source);
    void RemoveAllDescriptors(EventLoopSource* source);
    void InsertEntries(EventLoopSource* source, const WaitEntry* entries, size_t count);
    void EntriesChanged();

    core::NotifiedBase* const owner_;
    PolledList polled_;
    PolledList::iterator preparedEnd_;
    std::unordered_map<uint32_t, EventLoopSource*> messageSources_;
    std::vector<EventLoopSource*> ownedMessageSources_;  // auto-delete message sources
    std::vector<WaitEntry> entries_;
    std::map<const EventLoopSource*, Range> ranges_;
    std::vector<platform::SyncEvent*> handles_;
    Current current_;
    EventLoopSource* currentSource_ = nullptr;
    std::atomic<bool> quit_{false};
    uint32_t lastTick_ = 0;
    bool sourcesChanged_ = false;
};

}  // namespace quorvalib::eventloop
