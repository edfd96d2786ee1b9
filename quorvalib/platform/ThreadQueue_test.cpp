#include "quorvalib/platform/ThreadQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/platform/Tick.h"

namespace quorvalib::platform {
namespace {

constexpr uint32_t kLongWait = 30000;  // only a real hang reaches it

// A thread with a queue that tells the test its id, then runs `body`.
class QueueThread {
public:
    template <typename Body>
    explicit QueueThread(Body body)
        : thread_([this, body] {
              EnsureThreadQueue();
              id_ = CurrentThreadId();
              ready_.Set();
              body();
          }) {
        EXPECT_TRUE(ready_.Wait(kLongWait));
    }
    ~QueueThread() { thread_.join(); }
    uint32_t Id() const { return id_; }

private:
    SyncEvent ready_{SyncEvent::Mode::Manual};
    std::atomic<uint32_t> id_{0};
    std::thread thread_;
};

TEST(ThreadQueue, MessagesArriveInPostingOrderAndQuitEndsGet) {
    std::vector<ThreadMessage> received;
    {
        QueueThread receiver([&] {
            ThreadMessage message;
            while (GetThreadMessage(message)) received.push_back(message);
            received.push_back(message);
        });
        for (uint32_t i = 0; i < 100; ++i) {
            ASSERT_TRUE(PostThreadMessage(receiver.Id(), kWmUser + i, i * 2, -static_cast<intptr_t>(i)));
        }
        ASSERT_TRUE(PostThreadMessage(receiver.Id(), kWmQuit, 0, 0));
    }
    ASSERT_EQ(received.size(), 101u);
    for (uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(received[i].message, kWmUser + i);
        EXPECT_EQ(received[i].wparam, i * 2);
        EXPECT_EQ(received[i].lparam, -static_cast<intptr_t>(i));
    }
    EXPECT_EQ(received.back().message, kWmQuit);
}

TEST(ThreadQueue, PostingToAThreadWithoutQueueFails) {
    uint32_t idWithoutQueue = 0;
    std::thread([&] { idWithoutQueue = CurrentThreadId(); }).join();
    EXPECT_FALSE(PostThreadMessage(idWithoutQueue, kWmUser, 0, 0));
    EXPECT_EQ(LastError(), kErrorInvalidThreadId);
    EXPECT_FALSE(PostThreadMessage(0, kWmUser, 0, 0));
}

TEST(ThreadQueue, ClosingHandsBackWhatIsLeftAndRefusesLaterPosts) {
    SyncEvent posted(SyncEvent::Mode::Auto);
    SyncEvent closed(SyncEvent::Mode::Auto);
    std::vector<ThreadMessage> left;
    QueueThread owner([&] {
        posted.Wait(kLongWait);
        left = CloseThreadQueue();
        closed.Set();
    });
    ASSERT_TRUE(PostThreadMessage(owner.Id(), kWmUser + 1, 1, 10));
    ASSERT_TRUE(PostThreadMessage(owner.Id(), kWmUser + 2, 2, 20));
    posted.Set();
    ASSERT_TRUE(closed.Wait(kLongWait));
    EXPECT_FALSE(PostThreadMessage(owner.Id(), kWmUser + 3, 3, 30));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].lparam, 10);
    EXPECT_EQ(left[1].lparam, 20);
}

TEST(ThreadQueue, PeekLeavesTheMessageUnlessAskedToRemoveIt) {
    EnsureThreadQueue();
    ASSERT_TRUE(PostThreadMessage(CurrentThreadId(), kWmUser + 7, 0, 0));
    ThreadMessage message;
    ASSERT_TRUE(PeekThreadMessage(message, false));
    ASSERT_TRUE(PeekThreadMessage(message, true));
    EXPECT_EQ(message.message, kWmUser + 7);
    EXPECT_FALSE(PeekThreadMessage(message, true));
}

TEST(ThreadQueueWait, ReturnsTheLowestSetEventBeforeTheQueue) {
    EnsureThreadQueue();
    SyncEvent first(SyncEvent::Mode::Auto);
    SyncEvent second(SyncEvent::Mode::Manual);
    SyncEvent* events[] = {&first, &second};
    second.Set();
    first.Set();
    ASSERT_TRUE(PostThreadMessage(CurrentThreadId(), kWmUser, 0, 0));
    EXPECT_EQ(WaitForQueueOrEvents(events, 0), 0u);  // auto-reset: consumed
    EXPECT_EQ(WaitForQueueOrEvents(events, 0), 1u);  // manual: stays set
    EXPECT_EQ(WaitForQueueOrEvents(events, 0), 1u);
    second.Reset();
    EXPECT_EQ(WaitForQueueOrEvents(events, 0), 2u);
    ThreadMessage message;
    ASSERT_TRUE(PeekThreadMessage(message, true));
    EXPECT_EQ(WaitForQueueOrEvents(events, 0), kWaitTimeout);
}

TEST(ThreadQueueWait, TimesOutWhenNothingHappens) {
    SyncEvent never(SyncEvent::Mode::Auto);
    SyncEvent* events[] = {&never};
    const uint32_t start = GetTickCount();
    EXPECT_EQ(WaitForQueueOrEvents(events, 30), kWaitTimeout);
    EXPECT_GE(TickDiff(GetTickCount(), start), 29);
}

TEST(ThreadQueueWait, WakesForAnEventSetOrAMessagePostedByAnotherThread) {
    SyncEvent wake(SyncEvent::Mode::Auto);
    SyncEvent waiting(SyncEvent::Mode::Auto);
    std::vector<uint32_t> results;
    QueueThread waiter([&] {
        SyncEvent* events[] = {&wake};
        waiting.Set();
        results.push_back(WaitForQueueOrEvents(events, kInfinite));
        waiting.Set();
        results.push_back(WaitForQueueOrEvents(events, kInfinite));
    });
    ASSERT_TRUE(waiting.Wait(kLongWait));
    wake.Set();
    ASSERT_TRUE(waiting.Wait(kLongWait));
    ASSERT_TRUE(PostThreadMessage(waiter.Id(), kWmUser, 0, 0));
    // QueueThread's destructor joins: a lost wake-up would hang here.
}

TEST(Tick, DifferenceSurvivesWrapAround) {
    EXPECT_EQ(TickDiff(5u, 0xFFFFFFFBu), 10);
    EXPECT_EQ(TickDiff(0xFFFFFFFBu, 5u), -10);
    const uint32_t before = GetTickCount();
    EXPECT_GE(TickDiff(GetTickCount(), before), 0);
}

}  // namespace
}  // namespace quorvalib::platform
