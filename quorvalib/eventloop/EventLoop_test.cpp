#include "quorvalib/eventloop/EventLoop.h"

#include <gtest/gtest.h>

#include <thread>

#include "quorvalib/core/Messages.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/eventloop/AsyncCallLoopSource.h"
#include "quorvalib/eventloop/EventDispatcherLoopSource.h"
#include "quorvalib/eventloop/LoopTestSupport.h"
#include "quorvalib/platform/SyncEvent.h"

namespace quorvalib::eventloop {
namespace {

using testing::LoopOwner;
using testing::ScriptedSource;
using Journal = std::vector<std::string>;

constexpr uint32_t kTestMessage = 0x500;

// Makes a source finish (detach) after `times` dispatches, and quits the loop when the journal
// reaches `total` entries.
std::function<bool()> CountDown(int times, Journal& journal, size_t total, LoopOwner& owner) {
    auto left = std::make_shared<int>(times);
    return [left, &journal, total, &owner] {
        if (journal.size() == total) owner.Quit();
        return --*left > 0;
    };
}

TEST(EventLoop, WithoutSourcesRunReturnsAtOnce) {
    LoopOwner owner;
    EventLoop loop(&owner);
    EXPECT_FALSE(loop.Run());
}

TEST(EventLoop, LowerPriorityRunsFirstAndEqualPrioritiesTakeTurns) {
    LoopOwner owner;
    EventLoop loop(&owner);
    Journal journal;
    ScriptedSource a("a", 10, journal), b("b", 10, journal), c("c", 5, journal),
        late("z", 20, journal);
    a.dispatch = CountDown(3, journal, 9, owner);
    b.dispatch = CountDown(3, journal, 9, owner);
    c.dispatch = CountDown(2, journal, 9, owner);
    late.dispatch = CountDown(1, journal, 9, owner);
    a.Attach(&loop);
    b.Attach(&loop);
    late.Attach(&loop);
    c.Attach(&loop);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(journal, (Journal{"c", "c", "a", "b", "a", "b", "a", "b", "z"}));
    EXPECT_TRUE(loop.PolledSources().empty());  // each detached when it returned false
}

TEST(EventLoop, PendingMessageIsOfferedOnlyToSourcesOfHigherOrEqualPriority) {
    LoopOwner owner;
    EventLoop loop(&owner);
    Journal journal;
    ScriptedSource early("early", 500, journal), late("late", 2000, journal);
    ScriptedSource handler("handler", 1000, journal, {kTestMessage});
    int earlyTurns = 0;
    early.check = [&] { return ++earlyTurns <= 2; };
    int refusals = 0;
    handler.check = [&] {
        if (loop.CurrentMessage() != kTestMessage) return false;
        if (refusals < 3) {
            journal.push_back("refused");
            ++refusals;
            return false;
        }
        return true;
    };
    handler.dispatch = [&] {
        loop.ConsumeMessage();
        return true;
    };
    late.dispatch = [&] {
        owner.Quit();
        return false;
    };
    early.Attach(&loop);
    late.Attach(&loop);
    handler.Attach(&loop);
    ASSERT_TRUE(owner.PostMsg(kTestMessage, 0, 0));
    EXPECT_TRUE(loop.Run());
    // While the message is pending, the source below its handler's priority never runs.
    EXPECT_EQ(journal, (Journal{"early", "early", "refused", "refused", "refused", "handler",
                                "late"}));
}

TEST(EventLoop, MessagesWithoutTakerAreDroppedAndTheLoopMovesOn) {
    LoopOwner owner;
    EventLoop loop(&owner);
    Journal journal;
    ScriptedSource handler("handler", 1000, journal, {kTestMessage});
    handler.check = [&] { return loop.CurrentMessage() == kTestMessage; };
    handler.dispatch = [&] {
        journal.push_back(std::to_string(loop.CurrentLParam()));
        loop.ConsumeMessage();
        if (journal.size() == 4) owner.Quit();
        return true;
    };
    handler.Attach(&loop);
    owner.PostMsg(core::kMsgAbortJob, 0, 0);  // nobody runs a job: swallowed
    owner.PostMsg(kTestMessage, 1, 0);
    owner.PostMsg(0x777, 0, 0);  // no source at all
    owner.PostMsg(kTestMessage, 2, 0);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(journal, (Journal{"handler", "1", "handler", "2"}));
}

TEST(EventLoop, MessageFetchedAfterQuitIsNotDispatchedButHandedBack) {
    LoopOwner owner;
    EventLoop loop(&owner);
    Journal journal;
    ScriptedSource handler("handler", 1000, journal, {kTestMessage});
    handler.Attach(&loop);
    owner.Quit();
    owner.PostMsg(kTestMessage, 42, 0);
    EXPECT_TRUE(loop.Run());
    EXPECT_TRUE(loop.HasQuit());
    EXPECT_TRUE(journal.empty());
    platform::ThreadMessage left;
    ASSERT_TRUE(loop.TakeUndispatchedMessage(left));
    EXPECT_EQ(left.lparam, 42);
}

TEST(EventLoop, PolledTimeoutWakesTheWaitWithoutMessages) {
    LoopOwner owner;
    EventLoop loop(&owner);
    Journal journal;
    ScriptedSource sleeper("sleeper", 10, journal);
    sleeper.ready = false;
    sleeper.prepareTimeout = 5;
    int prepared = 0;
    sleeper.check = [&] { return ++prepared == 3; };
    sleeper.dispatch = [&] {
        owner.Quit();
        return false;
    };
    sleeper.Attach(&loop);
    EXPECT_TRUE(loop.Run());  // would block for ever if the time-out were ignored
    EXPECT_EQ(journal, Journal{"sleeper"});
}

TEST(EventLoop, SignalledWaitEntryWakesTheLoopAndIsFlagged) {
    LoopOwner owner;
    EventLoop loop(&owner);
    Journal journal;
    platform::SyncEvent wake(platform::SyncEvent::Mode::Auto);
    ScriptedSource watcher("watcher", 10, journal);
    watcher.ready = false;
    watcher.AddDescriptor({&wake, false});
    watcher.Attach(&loop);
    ASSERT_EQ(watcher.loopEntryCount, 1u);
    watcher.check = [&] { return watcher.loopEntries[0].signalled; };
    watcher.dispatch = [&] {
        owner.Quit();
        return false;
    };
    std::thread setter([&] { wake.Set(); });
    EXPECT_TRUE(loop.Run());
    setter.join();
    EXPECT_EQ(journal, Journal{"watcher"});
}

TEST(EventLoop, WaitEntriesStayGroupedPerSourceAsTheyChange) {
    LoopOwner owner;
    EventLoop loop(&owner);
    Journal journal;
    platform::SyncEvent e1(platform::SyncEvent::Mode::Auto), e2(platform::SyncEvent::Mode::Auto),
        e3(platform::SyncEvent::Mode::Auto);
    ScriptedSource first("first", 10, journal), second("second", 20, journal);
    first.AddDescriptor({&e1, false});
    first.Attach(&loop);
    second.AddDescriptor({&e2, false});
    second.Attach(&loop);
    first.AddDescriptor({&e3, false});  // goes after first's entries, before second's

    auto [firstEntries, firstCount] = loop.DescriptorsOf(&first);
    auto [secondEntries, secondCount] = loop.DescriptorsOf(&second);
    ASSERT_EQ(firstCount, 2u);
    ASSERT_EQ(secondCount, 1u);
    EXPECT_EQ(firstEntries[0].handle, &e1);
    EXPECT_EQ(firstEntries[1].handle, &e3);
    EXPECT_EQ(secondEntries[0].handle, &e2);
    EXPECT_EQ(second.loopEntries, secondEntries);  // told where its entries moved

    EXPECT_TRUE(first.RemoveDescriptor(&e1));
    EXPECT_FALSE(first.RemoveDescriptor(&e1));
    std::tie(secondEntries, secondCount) = loop.DescriptorsOf(&second);
    EXPECT_EQ(loop.DescriptorsOf(&first).second, 1u);
    EXPECT_EQ(secondEntries[0].handle, &e2);
    EXPECT_EQ(second.loopEntries, secondEntries);

    first.Detach();
    EXPECT_EQ(loop.DescriptorsOf(&first).second, 0u);
    EXPECT_EQ(loop.DescriptorsOf(&second).first[0].handle, &e2);
}

// A thread running a loop with the event and call sources, as every library thread has.
class LoopThread : public core::NotifiedBase {
public:
    LoopThread() : calls(this) {
        events.SetAutoDelete(false);
        calls.SetAutoDelete(false);
        thread_ = std::thread([this] {
            platform::EnsureThreadQueue();
            threadId = platform::CurrentThreadId();
            EventLoop loop(this);
            events.Attach(&loop);
            calls.Attach(&loop);
            started.Set();
            loop.Run();
            events.Detach();
            calls.Detach();
        });
        started.Wait();
    }
    ~LoopThread() {
        PostMsg(platform::kWmQuit, 0, 0);
        thread_.join();
    }
    bool PostMsg(uint32_t message, intptr_t lparam, uintptr_t wparam) override {
        return platform::PostThreadMessage(threadId, message, wparam, lparam);
    }

    EventDispatcherLoopSource events;
    AsyncCallLoopSource calls;
    std::atomic<uint32_t> threadId{0};

private:
    platform::SyncEvent started{platform::SyncEvent::Mode::Manual};
    std::thread thread_;
};

struct NumberEvent : core::Event {
    explicit NumberEvent(int n) : number(n) {}
    int number;
};

class NumberListener : public core::ListenerBase {
public:
    void OnNumber(NumberEvent& event) {
        numbers.push_back(event.number);
        threads.push_back(platform::CurrentThreadId());
        if (numbers.size() == expected) done.Set();
    }
    std::vector<int> numbers;
    std::vector<uint32_t> threads;
    size_t expected = 0;
    platform::SyncEvent done{platform::SyncEvent::Mode::Manual};
};

TEST(EventLoopThreads, EventsEmittedElsewhereArriveInOrderOnTheDispatcherThread) {
    LoopThread thread;
    core::Notifier notifier(&thread);
    NumberListener listener;
    listener.expected = 200;
    // Connecting belongs to the delivering thread.
    platform::SyncEvent connected(platform::SyncEvent::Mode::Manual);
    ASSERT_TRUE(PostCall(thread.calls, [&] {
        core::Connect(listener, notifier, &NumberListener::OnNumber);
        connected.Set();
    }));
    ASSERT_TRUE(connected.Wait(30000));
    std::thread emitter([&] {
        for (int i = 0; i < 200; ++i) core::Emit(notifier, std::make_unique<NumberEvent>(i));
    });
    emitter.join();
    ASSERT_TRUE(listener.done.Wait(30000));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(listener.numbers[i], i);
    for (uint32_t id : listener.threads) EXPECT_EQ(id, thread.threadId.load());
    platform::SyncEvent disconnected(platform::SyncEvent::Mode::Manual);
    PostCall(thread.calls, [&] {
        core::DisconnectAllDeferred(listener);
        disconnected.Set();
    });
    ASSERT_TRUE(disconnected.Wait(30000));
}

TEST(EventLoopThreads, PostedCallsRunInOrderOnTheLoopThreadAndEmptyOnesAreRefused) {
    LoopThread thread;
    std::vector<int> order;
    platform::SyncEvent done(platform::SyncEvent::Mode::Manual);
    std::atomic<uint32_t> ranOn{0};
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(PostCall(thread.calls, [&, i] {
            order.push_back(i);
            ranOn = platform::CurrentThreadId();
            if (i == 49) done.Set();
        }));
    }
    EXPECT_FALSE(PostCall(thread.calls, std::function<void()>()));
    ASSERT_TRUE(done.Wait(30000));
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
    EXPECT_EQ(ranOn, thread.threadId.load());
}

}  // namespace
}  // namespace quorvalib::eventloop
