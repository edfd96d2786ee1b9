#include "quorvalib/platform/SyncEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace quorvalib::platform {
namespace {

TEST(SyncEvent, AutoResetReleasesOneWaiterPerSet) {
    SyncEvent event(SyncEvent::Mode::Auto);
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    event.Set();  // signals do not add up
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
}

TEST(SyncEvent, ManualResetStaysSetUntilReset) {
    SyncEvent event(SyncEvent::Mode::Manual, true);
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.IsSet());
    event.Reset();
    EXPECT_FALSE(event.Wait(10));
}

TEST(SyncEvent, ManualSetReleasesEveryWaitingThread) {
    SyncEvent gate(SyncEvent::Mode::Manual);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (gate.Wait(30000)) ++released;
        });
    }
    gate.Set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 4);
}

}  // namespace
}  // namespace quorvalib::platform
