#include "quorvalib/eventloop/TimerLoopSource.h"

#include <gtest/gtest.h>

#include "quorvalib/eventloop/EventLoop.h"
#include "quorvalib/eventloop/LoopTestSupport.h"
#include "quorvalib/platform/Tick.h"

namespace quorvalib::eventloop {
namespace {

using testing::LoopOwner;

TEST(LoopTimer, OneShotFiresOnceAndReArmingMakesANewSource) {
    LoopOwner owner;
    EventLoop loop(&owner);
    int fired = 0;
    LoopTimer timer(loop, "once", [&] {
        ++fired;
        owner.Quit();
    });
    EXPECT_EQ(timer.state, LoopTimer::kIdle);
    StartTimer(timer, 1, 2);
    ASSERT_NE(timer.source, nullptr);
    EXPECT_EQ(timer.state, LoopTimer::kArmed);
    EXPECT_EQ(timer.source->Name(), "once");
    EXPECT_EQ(timer.source->Priority(), 1500);
    const uint32_t started = platform::GetTickCount();
    EXPECT_TRUE(loop.Run());
    EXPECT_GE(platform::TickDiff(platform::GetTickCount(), started), 2);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(timer.state, LoopTimer::kFired);
    EXPECT_EQ(timer.source, nullptr);
    EXPECT_TRUE(loop.PolledSources().empty());

    StartTimer(timer, 1, 1);
    ASSERT_NE(timer.source, nullptr);
    EXPECT_EQ(loop.PolledSources().size(), 1u);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(fired, 2);
    EXPECT_TRUE(loop.PolledSources().empty());
}

TEST(LoopTimer, RepeatThreeFiresThreeTimesThenRemovesItsSource) {
    LoopOwner owner;
    EventLoop loop(&owner);
    int fired = 0;
    LoopTimer timer(loop, "thrice", [&] { ++fired; });
    StartTimer(timer, 3, 1);
    // A later, slower timer ends the test well after the third firing would be due.
    LoopTimer stop(loop, "stop", [&] {
        if (timer.source == nullptr) owner.Quit();
        else StartTimer(*&stop, 1, 5);
    });
    StartTimer(stop, 1, 20);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(timer.source, nullptr);
}

TEST(LoopTimer, StartingAnArmedTimerOnlyMovesItsDueTime) {
    LoopOwner owner;
    EventLoop loop(&owner);
    int fired = 0;
    LoopTimer timer(loop, "rearm", [&] {
        ++fired;
        owner.Quit();
    });
    StartTimer(timer, 1, 10000);
    TimerLoopSource* first = timer.source;
    StartTimer(timer, 1, 1);  // re-armed: same source, now due in 1 ms
    EXPECT_EQ(timer.source, first);
    EXPECT_EQ(loop.PolledSources().size(), 1u);
    EXPECT_TRUE(loop.Run());  // would wait 10 s if the re-arm were lost
    EXPECT_EQ(fired, 1);
}

TEST(LoopTimer, OneShotReArmedFromItsOwnCallbackFiresAgain) {
    LoopOwner owner;
    EventLoop loop(&owner);
    int fired = 0;
    LoopTimer timer(loop, "again", nullptr);
    timer.callback = [&] {
        if (++fired < 3) StartTimer(timer, 1, 1);
        else owner.Quit();
    };
    StartTimer(timer, 1, 1);
    EXPECT_TRUE(loop.Run());  // a lost re-arm would leave the loop waiting for ever
    EXPECT_EQ(fired, 3);
    EXPECT_TRUE(loop.PolledSources().empty());
}

TEST(LoopTimer, ForeverTimerStopsWhenStoppedOrDestroyedInItsCallback) {
    LoopOwner owner;
    EventLoop loop(&owner);
    int stoppedRuns = 0;
    auto doomedRuns = std::make_shared<int>(0);
    LoopTimer stopped(loop, "stopped", [&] {
        if (++stoppedRuns == 4) StopTimer(stopped);
    });
    auto doomed = std::make_unique<LoopTimer>(loop, "doomed", nullptr);
    doomed->callback = [&, doomedRuns] {
        if (++*doomedRuns == 2) doomed.reset();
    };
    StartTimer(stopped, 0, 1);
    StartTimer(*doomed, -1, 1);
    LoopTimer end(loop, "end", [&] {
        if (loop.PolledSources().size() == 1) owner.Quit();
        else StartTimer(end, 1, 2);
    });
    StartTimer(end, 1, 10);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(stoppedRuns, 4);
    EXPECT_EQ(*doomedRuns, 2);
    EXPECT_EQ(stopped.state, LoopTimer::kIdle);
}

}  // namespace
}  // namespace quorvalib::eventloop
