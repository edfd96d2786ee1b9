#include "quorvalib/platform/ThreadQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "common/debug/Log.h"
#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/platform/Tick.h"

namespace quorvalib::platform {

// Gives the multi-object wait access to the private waiter registration of events.
class WaitAccess {
public:
    static bool TryConsume(SyncEvent& event) { return event.TryConsume(); }
    static void Add(SyncEvent& event, detail::Waiter* waiter) { event.AddWaiter(waiter); }
    static void Remove(SyncEvent& event, detail::Waiter* waiter) { event.RemoveWaiter(waiter); }
};

namespace {

class MessageQueue final : public detail::Waiter {
public:
    bool Post(const ThreadMessage& message) {
        std::lock_guard guard(lock_);
        if (closed_) return false;
        messages_.push_back(message);
        if (waiting_) wake_.notify_one();
        return true;
    }

    bool Peek(ThreadMessage& message, bool remove) {
        std::lock_guard guard(lock_);
        if (messages_.empty()) return false;
        message = messages_.front();
        if (remove) messages_.pop_front();
        return true;
    }

    void Get(ThreadMessage& message) {
        std::unique_lock guard(lock_);
        ++waiting_;
        wake_.wait(guard, [this] { return !messages_.empty(); });
        --waiting_;
        message = messages_.front();
        messages_.pop_front();
    }

    std::vector<ThreadMessage> Close() {
        std::lock_guard guard(lock_);
        closed_ = true;
        std::vector<ThreadMessage> left(messages_.begin(), messages_.end());
        messages_.clear();
        return left;
    }

    void Wake() override {
        std::lock_guard guard(lock_);
        ++wakes_;
        if (waiting_) wake_.notify_one();
    }

    // One round of a multi-object wait: true when the queue has a message; otherwise blocks
    // until a wake newer than `seen`, a message, or the deadline (then `timedOut`).
    bool HasMessageOrBlock(uint64_t seen, bool infinite,
                           std::chrono::steady_clock::time_point deadline, bool& timedOut) {
        std::unique_lock guard(lock_);
        auto ready = [&] { return !messages_.empty() || wakes_ != seen; };
        if (!ready()) {
            ++waiting_;
            if (infinite) {
                wake_.wait(guard, ready);
            } else if (!wake_.wait_until(guard, deadline, ready)) {
                timedOut = true;
            }
            --waiting_;
        }
        return !messages_.empty();
    }

    uint64_t Wakes() {
        std::lock_guard guard(lock_);
        return wakes_;
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<ThreadMessage> messages_;
    uint64_t wakes_ = 0;
    int waiting_ = 0;
    bool closed_ = false;
};

struct QueueTable {
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>> queues;
};

QueueTable& Table() {
    // Never destroyed: threads may still unregister while static objects are torn down.
    static QueueTable* table = new QueueTable;
    return *table;
}

// Owns the calling thread's queue; unregisters it when the thread ends.
struct LocalQueue {
    std::shared_ptr<MessageQueue> queue;
    ~LocalQueue() { Drop(); }
    void Drop() {
        if (!queue) return;
        QueueTable& table = Table();
        std::lock_guard guard(table.lock);
        auto found = table.queues.find(CurrentThreadId());
        if (found != table.queues.end() && found->second == queue) table.queues.erase(found);
        queue.reset();
    }
};

thread_local LocalQueue t_queue;
thread_local int t_lastError = 0;

MessageQueue& OwnQueue() {
    if (!t_queue.queue) {
        auto queue = std::make_shared<MessageQueue>();
        QueueTable& table = Table();
        std::lock_guard guard(table.lock);
        table.queues[CurrentThreadId()] = queue;
        t_queue.queue = std::move(queue);
    }
    return *t_queue.queue;
}

}  // namespace

uint32_t CurrentThreadId() { return common::debug::CurrentThreadId(); }

void EnsureThreadQueue() { OwnQueue(); }

bool PostThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    std::shared_ptr<MessageQueue> queue;
    {
        QueueTable& table = Table();
        std::lock_guard guard(table.lock);
        auto found = table.queues.find(threadId);
        if (found != table.queues.end()) queue = found->second;
    }
    if (!queue || !queue->Post({message, wparam, lparam, GetTickCount()})) {
        t_lastError = kErrorInvalidThreadId;
        return false;
    }
    return true;
}

int LastError() { return t_lastError; }

bool PeekThreadMessage(ThreadMessage& message, bool remove) {
    return OwnQueue().Peek(message, remove);
}

bool GetThreadMessage(ThreadMessage& message) {
    OwnQueue().Get(message);
    return message.message != kWmQuit;
}

std::vector<ThreadMessage> CloseThreadQueue() {
    if (!t_queue.queue) return {};
    std::shared_ptr<MessageQueue> queue = t_queue.queue;
    t_queue.Drop();
    return queue->Close();
}

uint32_t WaitForQueueOrEvents(std::span<SyncEvent* const> events, uint32_t timeoutMs) {
    MessageQueue& queue = OwnQueue();
    const bool infinite = timeoutMs == kInfinite;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(infinite ? 0 : timeoutMs);
    for (SyncEvent* event : events) WaitAccess::Add(*event, &queue);
    uint32_t result = kWaitTimeout;
    for (;;) {
        // Read the wake count before looking at the events, so a Set() in between is not lost.
        const uint64_t seen = queue.Wakes();
        bool found = false;
        for (size_t i = 0; i < events.size() && !found; ++i) {
            if (WaitAccess::TryConsume(*events[i])) {
                result = static_cast<uint32_t>(i);
                found = true;
            }
        }
        if (found) break;
        bool timedOut = false;
        if (queue.HasMessageOrBlock(seen, infinite, deadline, timedOut)) {
            result = static_cast<uint32_t>(events.size());
            break;
        }
        if (timedOut) {
            // One last look: an event set right at the deadline still counts.
            for (size_t i = 0; i < events.size() && !found; ++i) {
                if (WaitAccess::TryConsume(*events[i])) {
                    result = static_cast<uint32_t>(i);
                    found = true;
                }
            }
            if (!found) result = kWaitTimeout;
            break;
        }
    }
    for (SyncEvent* event : events) WaitAccess::Remove(*event, &queue);
    return result;
}

}  // namespace quorvalib::platform
