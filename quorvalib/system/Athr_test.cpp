#include "quorvalib/system/Athr.h"

#include <gtest/gtest.h>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/platform/ThreadQueue.h"
#include "quorvalib/platform/Tick.h"
#include "quorvalib/system/SystemTestSupport.h"

namespace {

using namespace systemtest;
using common::debug::testing::LogRecorder;
namespace core = quorvalib::core;
namespace platform = quorvalib::platform;

struct CountedEvent : core::Event {
    explicit CountedEvent(std::atomic<int>& destroyed, int n = 0) : destroyed_(destroyed), number(n) {}
    ~CountedEvent() override { ++destroyed_; }
    std::atomic<int>& destroyed_;
    int number;
};

class EventCounter : public core::ListenerBase {
public:
    void OnEvent(CountedEvent& event) {
        numbers.push_back(event.number);
        onThread.push_back(platform::CurrentThreadId());
        if (numbers.size() == expected) done.Set();
    }
    std::vector<int> numbers;
    std::vector<uint32_t> onThread;
    size_t expected = 0;
    SyncEvent done{SyncEvent::Mode::Manual};
};

// Signals when the object is finally destroyed, wherever that happens.
class ObservedAthr : public Athr {
public:
    explicit ObservedAthr(SyncEvent& gone) : gone_(gone) {}
    ~ObservedAthr() override {
        destroyedOn = platform::CurrentThreadId();
        gone_.Set();
    }
    static inline std::atomic<uint32_t> destroyedOn{0};

private:
    SyncEvent& gone_;
};

TEST(Athr, StartsAndRunsPostedCallsAndEventsOnItsOwnThreadInOrder) {
    auto thread = std::make_shared<Athr>();
    EXPECT_EQ(thread->ThreadId(), 0u);
    ASSERT_TRUE(thread->CreateThread(0x10000));
    ASSERT_TRUE(thread->CreateThread());  // already started
    EXPECT_NE(thread->ThreadId(), 0u);

    core::Notifier notifier(thread.get());
    EventCounter counter;
    counter.expected = 100;
    SyncEvent connected(SyncEvent::Mode::Manual);
    ASSERT_TRUE(thread->PostCall([&] {
        core::Connect(counter, notifier, &EventCounter::OnEvent);
        connected.Set();
    }));
    ASSERT_TRUE(connected.Wait(kLongWait));
    std::atomic<int> destroyed{0};
    for (int i = 0; i < 100; ++i) core::Emit(notifier, std::make_unique<CountedEvent>(destroyed, i));
    ASSERT_TRUE(counter.done.Wait(kLongWait));
    EXPECT_TRUE(thread->HardStop());
    EXPECT_TRUE(thread->Finished());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(counter.numbers[i], i);
    for (uint32_t id : counter.onThread) EXPECT_EQ(id, thread->ThreadId());
    EXPECT_EQ(destroyed, 100);
}

TEST(Athr, RefusesToStartWithoutSharedOwnership) {
    LogRecorder log("Athr");
    Athr unshared;
    EXPECT_FALSE(unshared.CreateThread());
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].level, common::debug::kLogError);
}

TEST(Athr, PostingAfterQuitFailsSilentlyAndLateMessagesAreFreed) {
    auto thread = std::make_shared<Athr>();
    ASSERT_TRUE(thread->CreateThread());
    LogRecorder log("ALL");
    core::Notifier notifier(thread.get());
    std::atomic<int> destroyed{0};
    // Blocks the thread so that the quit and the late event queue up behind it.
    SyncEvent hold(SyncEvent::Mode::Manual);
    ASSERT_TRUE(thread->PostCall([&] { hold.Wait(); }));
    ASSERT_TRUE(thread->PostMsg(platform::kWmQuit, 0, 0));
    core::Emit(notifier, std::make_unique<CountedEvent>(destroyed));  // queued after the quit
    hold.Set();
    ASSERT_TRUE(thread->WaitFinished(kLongWait));
    EXPECT_EQ(destroyed, 1);  // freed with the queue, never delivered
    EXPECT_FALSE(thread->PostMsg(core::kMsgRunCalls, 0, 0));
    EXPECT_FALSE(thread->PostCall([] {}));
    core::Emit(notifier, std::make_unique<CountedEvent>(destroyed));
    EXPECT_EQ(destroyed, 2);
    EXPECT_TRUE(thread->HardStop());
    for (const auto& line : log.Lines()) EXPECT_NE(line.channel, "Athr") << line.message;
}

TEST(Athr, HardStopAbandonsAThreadThatIgnoresQuitAndItEndsLaterOnItsOwn) {
    LogRecorder log("Athr");
    SyncEvent gone(SyncEvent::Mode::Manual);
    SyncEvent inCall(SyncEvent::Mode::Manual);
    SyncEvent release(SyncEvent::Mode::Manual);
    std::shared_ptr<Athr> thread = std::make_shared<ObservedAthr>(gone);
    ASSERT_TRUE(thread->CreateThread());
    const uint32_t id = thread->ThreadId();
    ASSERT_TRUE(thread->PostCall([&] {
        inCall.Set();
        release.Wait();
    }));
    ASSERT_TRUE(inCall.Wait(kLongWait));
    const uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(thread->HardStop());
    EXPECT_GE(platform::TickDiff(platform::GetTickCount(), start), 4990);
    EXPECT_TRUE(thread->Abandoned());
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, common::debug::kLogWarning);
    EXPECT_EQ(lines[0].message, "Forced termination of thread #" + std::to_string(id) + ".");

    thread.reset();  // the running thread still holds the object
    EXPECT_FALSE(gone.IsSet());
    release.Set();
    ASSERT_TRUE(gone.Wait(kLongWait));
    EXPECT_EQ(ObservedAthr::destroyedOn, id);
}

}  // namespace
